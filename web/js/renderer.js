// The WebGL 2 drawing of a loaded model, as the desktop viewer draws it with fixed-function
// OpenGL: shaders that repeat the renderer's own per-vertex lighting step by step, the same state,
// and a frame drawn with its rows in the order of a window's buffer, then copied to the canvas.

// Lighting as the renderer evaluates it for one directional light in object space, colour
// material on ambient and diffuse, and an infinite viewer: each line below is one of its
// operations, written so that the shader compiler fuses the same multiply-adds. A zero emission
// keeps the ambient sum a multiply-add, as the renderer's is.
function litVertexShader(qualifier) {
  return `#version 300 es
uniform mat4 mvp;
uniform float flipY;
uniform vec3 lightDirection;
uniform vec3 halfVector;
uniform vec3 sceneAmbient;
uniform vec3 emission;
uniform vec3 lightAmbient;
uniform vec3 lightDiffuse;
uniform vec3 specularProduct;
uniform float shininess;
uniform vec3 palette[33];
in vec4 position;
in vec3 normal;
in float colourIndex;
${qualifier} out vec4 colour;
float dot3(vec3 a, vec3 b) { return (a.y * b.y + a.z * b.z) + a.x * b.x; }
void main() {
  vec4 clip = mvp * position;
  gl_Position = vec4(clip.x, clip.y * flipY, clip.z, clip.w);
  vec3 material = palette[int(colourIndex)];
  float diffuseDot = dot3(normal, lightDirection);
  float specularDot = dot3(normal, halfVector);
  vec3 scene = sceneAmbient * material + emission;
  vec3 ambient = lightAmbient * material;
  vec3 diffuse = lightDiffuse * material;
  float exponent = max(min(shininess, 128.0), -128.0);
  float specular = 0.0 >= diffuseDot ? 0.0 : pow(max(specularDot, 0.0), exponent);
  vec3 lit = ambient + scene;
  lit = max(diffuseDot, 0.0) * diffuse + lit;
  lit = specular * specularProduct + lit;
  colour = vec4(clamp(lit, 0.0, 1.0), 1.0);
}`;
}

// Without lighting the palette colour is passed on as it is.
function unlitVertexShader(qualifier) {
  return `#version 300 es
uniform mat4 mvp;
uniform float flipY;
uniform vec3 palette[33];
in vec4 position;
in float colourIndex;
${qualifier} out vec4 colour;
void main() {
  vec4 clip = mvp * position;
  gl_Position = vec4(clip.x, clip.y * flipY, clip.z, clip.w);
  colour = vec4(palette[int(colourIndex)], 1.0);
}`;
}

function fragmentShader(qualifier) {
  return `#version 300 es
precision highp float;
${qualifier} in vec4 colour;
out vec4 fragment;
void main() { fragment = colour; }`;
}

const kWhite = 32;  // the palette slot after the 32 colours: the outlines' white
const kVertexBytes = 28;  // a WebVertex (web/binding.h): position, palette entry, normal
const kWarmUpBytes = 1 << 20;  // the upload made before the model's (see ModelRenderer.prepare)

// Mesa's llvmpipe keeps every primitive of a frame, binned by screen tile, in blocks of 64 KB until
// the frame is rasterised, then frees them; a frame of the terrain's 63,000 triangles needs about
// two hundred. The browser's allocator hands most such blocks back to the system at once and the
// next frame takes them again, so that on a machine of several processors the frame went mostly to
// the system's page handling (five times its drawing, on the benchmark's machine). Drawn in
// batches, each sent on its way before the next, a frame never needs more than the few blocks the
// allocator keeps. The batches are drawn in order, so that the picture is the same.
const kPrimitivesPerBatch = 2048;

// The pixels a frame part (see ModelRenderer.draw) is drawn at, from the target's corner.
function drawnSize(width, height, part) {
  if (!part || !part.scale) return [width, height];
  return [Math.max(1, Math.round(width * part.scale)), Math.max(1, Math.round(height * part.scale))];
}

const kProgramSources = {
  litSmooth: () => [litVertexShader(''), fragmentShader('')],
  litFlat: () => [litVertexShader('flat'), fragmentShader('flat')],
  unlitSmooth: () => [unlitVertexShader(''), fragmentShader('')],
  unlitFlat: () => [unlitVertexShader('flat'), fragmentShader('flat')],
};

// Starts building a program. The browser builds it while the page goes on; its result is asked for
// (which waits for it) only when the program is first used.
function startProgram(gl, vertexSource, fragmentSource) {
  const program = gl.createProgram();
  for (const [type, source] of [[gl.VERTEX_SHADER, vertexSource], [gl.FRAGMENT_SHADER, fragmentSource]]) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    gl.attachShader(program, shader);
  }
  gl.bindAttribLocation(program, 0, 'position');
  gl.bindAttribLocation(program, 1, 'normal');
  gl.bindAttribLocation(program, 2, 'colourIndex');
  gl.linkProgram(program);
  return { program, uniforms: null };
}

// The program's uniforms, once it is linked; an error when it could not be.
function finishProgram(gl, built) {
  const program = built.program;
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error('WebGL could not build a shader: ' + gl.getProgramInfoLog(program));
  const uniforms = {};
  const count = gl.getProgramParameter(program, gl.ACTIVE_UNIFORMS);
  for (let i = 0; i < count; i++) {
    const name = gl.getActiveUniform(program, i).name.replace(/\[0\]$/, '');
    uniforms[name] = gl.getUniformLocation(program, name);
  }
  built.uniforms = uniforms;
}

// The buffers of the model's streams by what draws them (ModelLoader.streams), each uploaded when
// first drawn: for each, its name here, its target and its view.
const kStreams = {
  smooth: (v) => [['smoothVertices', 'ARRAY_BUFFER', v.vertices], ['smoothIndices', 'ELEMENT_ARRAY_BUFFER', v.indices]],
  flat: (v) => [['flatVertices', 'ARRAY_BUFFER', v.vertices], ['flatIndices', 'ELEMENT_ARRAY_BUFFER', v.indices]],
  segments: (v) => [['segments', 'ARRAY_BUFFER', v.positions]],
  outlines: (v) => [['table', 'ARRAY_BUFFER', v.table], ['edges', 'ELEMENT_ARRAY_BUFFER', v.edges]],
};

// The most bytes handed to WebGL in one task when a model's first streams are staged: a copy of
// tens of megabytes at once held the page's thread for a few hundred milliseconds.
const kUploadStep = 4 << 20;

class ModelRenderer {
  // gl: a WebGL 2 context created without antialiasing. The first view's program is best started
  // (programNamed) at once, so that the browser builds it while the page loads the model.
  constructor(gl) {
    this.gl = gl;
    this.palette = new Float32Array(33 * 3);
    this.palette.fill(1, 32 * 3);
    // Shade models: faces unlit take their colour from one corner, as the viewer's flat shade model
    // does; everything else interpolates its corners' colours. Where those colours are all equal
    // (faces lit with one normal, lines), Mesa's software rasteriser, which drew the desktop
    // viewer's pictures, interpolates them and misses by a step here and there: the page does the
    // same on that renderer, so that its picture is the desktop's exactly, and elsewhere draws the
    // one colour as it is, which comes closer to those pictures than another renderer's misses do.
    const info = gl.getExtension('WEBGL_debug_renderer_info');
    const name = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    const llvmpipe = /llvmpipe/i.test(name);
    this.interpolatesEqualColours = llvmpipe;
    this.primitivesPerBatch = llvmpipe ? kPrimitivesPerBatch : Infinity;
    this.programs = {};
    this.buffers = {};
    this.uploaded = new Set();
    this.unchecked = false;  // streams were uploaded since WebGL was last asked whether it had the memory
    this.shortOf = '';       // after a frame not drawn: 'loader' or 'WebGL', whichever had no memory
    this.indexBytes = {};  // of the uploaded triangle streams, by name
    this.target = null;
    this.samples = 0;  // samples per pixel for smooth edges; 0 draws the viewer's own picture
    // The origin at the top turns the viewport upside down and the rule for pixels on horizontal
    // edges with it, as in a window's buffer; without it the shaders turn the picture themselves.
    this.clipControl = gl.getExtension('EXT_clip_control');
    if (this.clipControl) this.clipControl.clipControlEXT(this.clipControl.UPPER_LEFT_EXT, this.clipControl.NEGATIVE_ONE_TO_ONE_EXT);
    this.model = null;
    this.staged = null;  // a model's first streams being uploaded (stage) while another is on show
    this.knownShort = false;  // WebGL had no memory for the staged streams: the first frame says so
  }

  // palette: 32 x 3 single-precision colours.
  setPalette(palette) {
    this.palette.set(palette);
  }

  // The named program of kProgramSources, started when first asked for.
  programNamed(name) {
    if (!this.programs[name]) this.programs[name] = startProgram(this.gl, ...kProgramSources[name]());
    return this.programs[name];
  }

  // Takes a model (LoaderClient.load) and uploads the streams of its first view. False when
  // the loader has no memory for them; WebGL's memory is known after the first frame (see draw).
  upload(model) {
    this.release();
    this.model = model;
    const staged = this.staged;
    this.staged = null;
    if (staged && staged.model === model && staged.done) {
      Object.assign(this.buffers, staged.buffers);
      Object.assign(this.indexBytes, staged.indexBytes);
      for (const name of Object.keys(staged.indexBytes)) this.uploaded.add(name);
      this.unchecked = false;
      this.knownShort = staged.outOfMemory;
    } else if (staged) {
      this.dropStaged(staged);
    }
    if (this.ensureStreams(['smooth', 'segments'])) return true;
    this.release();
    return false;
  }

  // Uploads the streams of model's first view into buffers of their own, at most kUploadStep bytes
  // a task, while the model on show stays drawn; upload(model) then takes them as they are. False
  // when the loader had no memory for them or another model was staged meanwhile.
  async stage(model) {
    const gl = this.gl;
    if (this.staged) this.dropStaged(this.staged);
    const staged = { model, buffers: {}, indexBytes: {}, done: false };
    this.staged = staged;
    for (const name of ['smooth', 'segments']) {
      const views = model.streams(name);
      if (!views) return false;
      for (const [key, target, data] of kStreams[name](views)) {
        const buffer = gl.createBuffer();
        staged.buffers[key] = buffer;
        for (let at = 0; at === 0 || at < data.byteLength; at += kUploadStep) {
          if (this.staged !== staged) return false;
          gl.bindBuffer(gl[target], buffer);
          if (at === 0) gl.bufferData(gl[target], data.byteLength, gl.STATIC_DRAW);
          if (data.byteLength > 0) gl.bufferSubData(gl[target], at, data, at, Math.min(kUploadStep, data.byteLength - at));
          gl.bindBuffer(gl[target], null);
          await new Promise((resolve) => setTimeout(resolve, 0));
        }
      }
      staged.indexBytes[name] = views.indexBytes;
    }
    // Whether WebGL had the memory, asked once it has taken in every step: asked after the first
    // frame, as for other uploads, the question would hold the page until that frame was drawn,
    // which for a fill-bound model takes the renderer hundreds of milliseconds.
    const fence = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
    gl.flush();
    while (gl.getSyncParameter(fence, gl.SYNC_STATUS) !== gl.SIGNALED) await new Promise((resolve) => setTimeout(resolve, 4));
    gl.deleteSync(fence);
    if (this.staged !== staged) return false;
    this.unchecked = true;
    staged.outOfMemory = this.ranOutOfMemory();
    staged.done = true;
    return true;
  }

  dropStaged(staged) {
    for (const buffer of Object.values(staged.buffers)) this.gl.deleteBuffer(buffer);
    if (this.staged === staged) this.staged = null;
  }

  // Uploads the named streams not yet uploaded (WebGL copies them); false when the loader ran out
  // of memory. Whether WebGL had the memory is asked once the frame is drawn: asked here, the page
  // would wait for the browser to take in every upload before it could send the frame's draws.
  ensureStreams(names) {
    const gl = this.gl;
    const missing = names.filter((name) => !this.uploaded.has(name));
    if (missing.length === 0) return true;
    for (const name of missing) {
      const views = this.model.streams(name);
      if (!views) return false;
      for (const [key, target, data] of kStreams[name](views)) {
        const buffer = gl.createBuffer();
        gl.bindBuffer(gl[target], buffer);
        gl.bufferData(gl[target], data, gl.STATIC_DRAW);
        this.buffers[key] = buffer;
      }
      this.uploaded.add(name);
      this.indexBytes[name] = views.indexBytes;
      this.unchecked = true;
    }
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    return true;
  }

  // Whether WebGL ran out of memory since streams were last uploaded. Every error is read, since a
  // draw from a buffer that could not be made sets one of its own (a lost context repeats its own).
  ranOutOfMemory() {
    const gl = this.gl;
    if (this.knownShort) {
      this.knownShort = false;
      return true;
    }
    if (!this.unchecked) return false;
    this.unchecked = false;
    let out = false;
    for (let i = 0, error; i < 8 && (error = gl.getError()) !== gl.NO_ERROR; i++) out = out || error === gl.OUT_OF_MEMORY;
    return out;
  }

  release() {
    for (const buffer of Object.values(this.buffers)) this.gl.deleteBuffer(buffer);
    this.buffers = {};
    this.uploaded.clear();
    // An error of these buffers' uploads, not looked at yet, is not to be taken for the next model's.
    this.ranOutOfMemory();
    this.model = null;
  }

  // The names of the streams a frame of view draws.
  streamsFor(view) {
    return view.wireframe ? ['outlines'] : [view.smooth || !view.lighting ? 'smooth' : 'flat', 'segments'];
  }

  // The off-screen colour and depth buffers the frame is drawn into, at the canvas's size; with
  // samples (smooth edges, the user's choice) they are multisampled and resolved into a plain
  // colour buffer before the copy, which cannot both resolve and turn the rows over.
  ensureTarget(width, height) {
    const gl = this.gl;
    const samples = this.samples ? Math.min(this.samples, gl.getParameter(gl.MAX_SAMPLES)) : 0;
    const t = this.target;
    if (t && t.width === width && t.height === height && t.samples === samples) return;
    if (t) {
      for (const framebuffer of [t.framebuffer, t.resolve]) if (framebuffer) gl.deleteFramebuffer(framebuffer);
      for (const buffer of [t.colour, t.depth, t.resolved]) if (buffer) gl.deleteRenderbuffer(buffer);
    }
    const storage = (format, sampled) => {
      const buffer = gl.createRenderbuffer();
      gl.bindRenderbuffer(gl.RENDERBUFFER, buffer);
      if (sampled) gl.renderbufferStorageMultisample(gl.RENDERBUFFER, samples, format, width, height);
      else gl.renderbufferStorage(gl.RENDERBUFFER, format, width, height);
      return buffer;
    };
    const colour = storage(gl.RGBA8, samples > 0);
    const depth = storage(gl.DEPTH_COMPONENT24, samples > 0);
    const framebuffer = gl.createFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, framebuffer);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.RENDERBUFFER, colour);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.DEPTH_ATTACHMENT, gl.RENDERBUFFER, depth);
    this.target = { framebuffer, colour, depth, width, height, samples, resolve: null, resolved: null };
    if (samples > 0) {
      this.target.resolved = storage(gl.RGBA8, false);
      this.target.resolve = gl.createFramebuffer();
      gl.bindFramebuffer(gl.FRAMEBUFFER, this.target.resolve);
      gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.RENDERBUFFER, this.target.resolved);
    }
  }

  // One frame of view (the viewer's state) at width x height pixels into the canvas: the model
  // uploaded last when withModel is set, else the background alone. False when the loader or
  // WebGL had no memory for the streams this view needs (shortOf says which): nothing, or not all,
  // was drawn.
  // part: left out for the whole frame at once; { scale } for the whole frame drawn that much
  // smaller and stretched over the canvas (while the model moves); { batches: [first, end], show }
  // for the frame's draw batches first to end (see batchCount), the first part clearing the target
  // and the canvas given the frame once show is set on the last. The parts, drawn in order with the
  // same state into the same target, give the picture that one frame draws.
  draw(view, withModel, width, height, part) {
    const model = this.model && withModel;
    this.shortOf = '';
    if (model && !this.ensureStreams(this.streamsFor(view))) {
      this.shortOf = 'loader';
      return false;
    }
    this.beginFrame(view.blackBackground, width, height, part);
    this.batches = { next: 0, range: part && part.batches ? part.batches : [0, Infinity] };
    if (model) {
      const transform = frameTransform(view, width, height);
      if (view.wireframe) this.drawOutlines(transform);
      else this.drawSolid(view, transform);
    }
    this.endFrame(width, height, part);
    if (this.ranOutOfMemory()) this.shortOf = 'WebGL';
    return !this.shortOf;
  }

  // The off-screen target cleared, with the state every frame draws in.
  beginFrame(blackBackground, width, height, part) {
    const gl = this.gl;
    this.ensureTarget(width, height);
    gl.bindFramebuffer(gl.FRAMEBUFFER, this.target.framebuffer);
    const drawn = drawnSize(width, height, part);
    gl.viewport(0, 0, drawn[0], drawn[1]);
    gl.disable(gl.SCISSOR_TEST);
    const background = blackBackground ? 0 : 1;
    gl.clearColor(background, background, background, background);
    gl.clearDepth(1);
    gl.enable(gl.DEPTH_TEST);
    gl.depthFunc(gl.LESS);
    gl.disable(gl.CULL_FACE);
    gl.enable(gl.BLEND);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    if (!part || !part.batches || part.batches[0] === 0) gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
  }

  // The rows were drawn top first, as a window's buffer holds them; the canvas holds them bottom first.
  endFrame(width, height, part) {
    const gl = this.gl;
    if (part && part.batches && !part.show) {
      gl.bindFramebuffer(gl.FRAMEBUFFER, null);
      return;
    }
    const [w, h] = drawnSize(width, height, part);
    gl.bindFramebuffer(gl.READ_FRAMEBUFFER, this.target.framebuffer);
    if (this.target.resolve) {
      gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, this.target.resolve);
      gl.blitFramebuffer(0, 0, w, h, 0, 0, w, h, gl.COLOR_BUFFER_BIT, gl.NEAREST);
      gl.bindFramebuffer(gl.READ_FRAMEBUFFER, this.target.resolve);
    }
    gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, null);
    gl.blitFramebuffer(0, 0, w, h, 0, height, width, 0, gl.COLOR_BUFFER_BIT, w === width ? gl.NEAREST : gl.LINEAR);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
  }

  // A frame of one triangle of no area, with the first view's program, vertex layout and state, in
  // the background's black. Mesa's llvmpipe compiles its machine code for a shader in a state at
  // the first draw, not when the program is linked: drawn while the page loads its model, that
  // work is done before the first frame. The program's uniforms are left as they are, so that
  // nothing here waits for the browser. The vertex buffer is a megabyte of data, about a model of
  // 40,000 vertices: the browser's first upload of that size took it some 20 ms longer than later
  // ones (the terrain's first frame, on llvmpipe), a cost taken here while the module starts.
  prepare(width, height) {
    const gl = this.gl;
    const vertices = gl.createBuffer();
    const indices = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, vertices);
    gl.bufferData(gl.ARRAY_BUFFER, new Uint8Array(kWarmUpBytes), gl.STATIC_DRAW);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indices);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, new Uint16Array([0, 1, 2]), gl.STATIC_DRAW);
    this.beginFrame(true, width, height);
    gl.useProgram(this.programNamed('litSmooth').program);
    this.bindVertices(vertices, true);
    gl.drawElements(gl.TRIANGLES, 3, gl.UNSIGNED_SHORT, 0);
    this.endFrame(width, height);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    gl.deleteBuffer(vertices);
    gl.deleteBuffer(indices);
  }

  // The faces' vertex buffer (WebVertex in web/binding.h) as the attributes, normals when lit.
  bindVertices(buffer, lit) {
    const gl = this.gl;
    gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, kVertexBytes, 0);
    if (lit) {
      gl.enableVertexAttribArray(1);
      gl.vertexAttribPointer(1, 3, gl.FLOAT, false, kVertexBytes, 16);
    } else {
      gl.disableVertexAttribArray(1);
    }
    gl.enableVertexAttribArray(2);
    gl.vertexAttribPointer(2, 1, gl.FLOAT, false, kVertexBytes, 12);
  }

  // The program for lit or unlit drawing; equalCorners: every primitive's corners get one colour.
  program(lit, equalCorners) {
    const flat = equalCorners && !this.interpolatesEqualColours;
    if (lit) return this.programNamed(flat ? 'litFlat' : 'litSmooth');
    return this.programNamed(flat ? 'unlitFlat' : 'unlitSmooth');
  }

  use(program, transform) {
    const gl = this.gl;
    if (!program.uniforms) finishProgram(gl, program);
    gl.useProgram(program.program);
    gl.uniformMatrix4fv(program.uniforms.mvp, false, new Float32Array(transform.mvp));
    gl.uniform1f(program.uniforms.flipY, this.clipControl ? 1 : -1);
    gl.uniform3fv(program.uniforms.palette, this.palette);
    return program.uniforms;
  }

  setLighting(program, transform) {
    const gl = this.gl;
    const u = this.use(program, transform);
    gl.uniform3fv(u.lightDirection, new Float32Array(transform.light));
    gl.uniform3fv(u.halfVector, new Float32Array(transform.half));
    gl.uniform3f(u.sceneAmbient, 0.2, 0.2, 0.2);
    gl.uniform3f(u.emission, 0, 0, 0);
    gl.uniform3f(u.lightAmbient, 0.3, 0.3, 0.3);
    gl.uniform3f(u.lightDiffuse, 0.7, 0.7, 0.7);
    gl.uniform3f(u.specularProduct, 1, 1, 1);
    gl.uniform1f(u.shininess, 128);
  }

  // count vertices of mode (triangles or lines) from the bound buffers, indexed when indexType is
  // given, in batches of primitivesPerBatch (see kPrimitivesPerBatch).
  // Of a frame drawn in parts, only the part's batches.
  drawBatches(mode, count, indexType, indexBytes) {
    const gl = this.gl;
    const step = this.batchStep(mode);
    const b = this.batches;
    for (let first = 0; first < count; first += step) {
      const index = b.next++;
      if (index < b.range[0] || index >= b.range[1]) continue;
      if (index > b.range[0]) gl.flush();
      const n = Math.min(step, count - first);
      if (indexType) gl.drawElements(mode, n, indexType, first * indexBytes);
      else gl.drawArrays(mode, first, n);
    }
  }

  // Vertices of mode in one batch: Infinity where batches are not needed (one batch of any count).
  batchStep(mode) {
    return this.primitivesPerBatch * (mode === this.gl.TRIANGLES ? 3 : 2);
  }

  // The draw batches of a frame of view, as drawBatches counts them: a frame drawn in parts splits
  // this count.
  batchCount(view) {
    const m = this.model;
    const gl = this.gl;
    const batches = (mode, vertices) => (vertices > 0 ? Math.max(1, Math.ceil(vertices / this.batchStep(mode))) : 0);
    if (!m) return 0;
    if (view.wireframe) return batches(gl.LINES, m.edgeEnds);
    return batches(gl.TRIANGLES, m.indexCount) + batches(gl.LINES, m.segmentEnds);
  }

  // Faces as triangles, then segments as lines, lit by the faces' last normal.
  drawSolid(view, transform) {
    const gl = this.gl;
    const m = this.model;
    if (view.lighting) this.setLighting(this.program(true, !view.smooth), transform);
    else this.use(this.programNamed('unlitFlat'), transform);
    // Unlit, the normals play no part: either set of triangles gives the same picture.
    const set = view.smooth || !view.lighting ? 'smooth' : 'flat';
    this.bindVertices(this.buffers[set + 'Vertices'], view.lighting);
    if (m.indexCount > 0) {
      const indexBytes = this.indexBytes[set];
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.buffers[set + 'Indices']);
      this.drawBatches(gl.TRIANGLES, m.indexCount, indexBytes === 2 ? gl.UNSIGNED_SHORT : gl.UNSIGNED_INT, indexBytes);
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    }
    if (m.segmentEnds === 0) return;
    if (view.lighting) this.setLighting(this.program(true, true), transform);
    else this.use(this.program(false, true), transform);
    gl.disableVertexAttribArray(1);
    const n = m.lastNormals;
    if (view.smooth) gl.vertexAttrib3f(1, n[0], n[1], n[2]);
    else gl.vertexAttrib3f(1, n[3], n[4], n[5]);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffers.segments);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 16, 0);
    gl.vertexAttribPointer(2, 1, gl.FLOAT, false, 16, 12);
    this.drawBatches(gl.LINES, m.segmentEnds);
  }

  // Every edge in white, from the vertex table, unlit.
  drawOutlines(transform) {
    const gl = this.gl;
    const m = this.model;
    if (m.edgeEnds === 0) return;
    this.use(this.program(false, true), transform);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffers.table);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 12, 0);
    gl.disableVertexAttribArray(1);
    gl.disableVertexAttribArray(2);
    gl.vertexAttrib1f(2, kWhite);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.buffers.edges);
    this.drawBatches(gl.LINES, m.edgeEnds, gl.UNSIGNED_SHORT, 2);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
  }
}
