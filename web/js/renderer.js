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

function compileProgram(gl, vertexSource, fragmentSource) {
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
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error('WebGL could not build a shader: ' + gl.getProgramInfoLog(program));
  const uniforms = {};
  const count = gl.getProgramParameter(program, gl.ACTIVE_UNIFORMS);
  for (let i = 0; i < count; i++) {
    const name = gl.getActiveUniform(program, i).name.replace(/\[0\]$/, '');
    uniforms[name] = gl.getUniformLocation(program, name);
  }
  return { program, uniforms };
}

class ModelRenderer {
  // gl: a WebGL 2 context created without antialiasing; palette: 32 x 3 single-precision colours.
  constructor(gl, palette) {
    this.gl = gl;
    this.palette = new Float32Array(33 * 3);
    this.palette.set(palette);
    this.palette.fill(1, 32 * 3);
    // Shade models: faces unlit take their colour from one corner, as the viewer's flat shade model
    // does; everything else interpolates its corners' colours. Where those colours are all equal
    // (faces lit with one normal, lines), Mesa's software rasteriser, which drew the desktop
    // viewer's pictures, interpolates them and misses by a step here and there: the page does the
    // same on that renderer, so that its picture is the desktop's exactly, and elsewhere draws the
    // one colour as it is, which comes closer to those pictures than another renderer's misses do.
    const info = gl.getExtension('WEBGL_debug_renderer_info');
    const name = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    this.interpolatesEqualColours = /llvmpipe/i.test(name);
    this.programs = {
      litSmooth: compileProgram(gl, litVertexShader(''), fragmentShader('')),
      litFlat: compileProgram(gl, litVertexShader('flat'), fragmentShader('flat')),
      unlitSmooth: compileProgram(gl, unlitVertexShader(''), fragmentShader('')),
      unlitFlat: compileProgram(gl, unlitVertexShader('flat'), fragmentShader('flat')),
    };
    this.buffers = {};
    this.target = null;
    // The origin at the top turns the viewport upside down and the rule for pixels on horizontal
    // edges with it, as in a window's buffer; without it the shaders turn the picture themselves.
    this.clipControl = gl.getExtension('EXT_clip_control');
    if (this.clipControl) this.clipControl.clipControlEXT(this.clipControl.UPPER_LEFT_EXT, this.clipControl.NEGATIVE_ONE_TO_ONE_EXT);
    this.model = null;
  }

  // Uploads a model's streams (views into the loader's memory, copied by WebGL here). False when
  // the browser's WebGL refuses a buffer of that size.
  upload(model) {
    const gl = this.gl;
    this.release();
    const make = (target, data) => {
      const buffer = gl.createBuffer();
      gl.bindBuffer(target, buffer);
      gl.bufferData(target, data, gl.STATIC_DRAW);
      return buffer;
    };
    for (const set of ['smooth', 'flat']) {
      this.buffers[set + 'Vertices'] = make(gl.ARRAY_BUFFER, model[set].vertices);
      this.buffers[set + 'Indices'] = make(gl.ELEMENT_ARRAY_BUFFER, model[set].indices);
    }
    this.buffers.segments = make(gl.ARRAY_BUFFER, model.segmentPositions);
    this.buffers.table = make(gl.ARRAY_BUFFER, model.tablePositions);
    this.buffers.edges = make(gl.ELEMENT_ARRAY_BUFFER, model.edges);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    if (gl.getError() === gl.OUT_OF_MEMORY) {
      this.release();
      return false;
    }
    this.model = model;
    return true;
  }

  release() {
    for (const buffer of Object.values(this.buffers)) this.gl.deleteBuffer(buffer);
    this.buffers = {};
    this.model = null;
  }

  // The off-screen colour and depth buffers the frame is drawn into, at the canvas's size.
  ensureTarget(width, height) {
    const gl = this.gl;
    if (this.target && this.target.width === width && this.target.height === height) return;
    if (this.target) {
      gl.deleteFramebuffer(this.target.framebuffer);
      gl.deleteRenderbuffer(this.target.colour);
      gl.deleteRenderbuffer(this.target.depth);
    }
    const framebuffer = gl.createFramebuffer();
    const colour = gl.createRenderbuffer();
    const depth = gl.createRenderbuffer();
    gl.bindRenderbuffer(gl.RENDERBUFFER, colour);
    gl.renderbufferStorage(gl.RENDERBUFFER, gl.RGBA8, width, height);
    gl.bindRenderbuffer(gl.RENDERBUFFER, depth);
    gl.renderbufferStorage(gl.RENDERBUFFER, gl.DEPTH_COMPONENT24, width, height);
    gl.bindFramebuffer(gl.FRAMEBUFFER, framebuffer);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.RENDERBUFFER, colour);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.DEPTH_ATTACHMENT, gl.RENDERBUFFER, depth);
    this.target = { framebuffer, colour, depth, width, height };
  }

  // One frame of view (the viewer's state) at width x height pixels into the canvas: the model
  // uploaded last when withModel is set, else the background alone.
  draw(view, withModel, width, height) {
    const gl = this.gl;
    this.ensureTarget(width, height);
    gl.bindFramebuffer(gl.FRAMEBUFFER, this.target.framebuffer);
    gl.viewport(0, 0, width, height);
    const background = view.blackBackground ? 0 : 1;
    gl.clearColor(background, background, background, background);
    gl.clearDepth(1);
    gl.enable(gl.DEPTH_TEST);
    gl.depthFunc(gl.LESS);
    gl.disable(gl.CULL_FACE);
    gl.enable(gl.BLEND);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    if (this.model && withModel) {
      const transform = frameTransform(view, width, height);
      if (view.wireframe) this.drawOutlines(transform);
      else this.drawSolid(view, transform);
    }
    // The rows were drawn top first, as a window's buffer holds them; the canvas holds them bottom first.
    gl.bindFramebuffer(gl.READ_FRAMEBUFFER, this.target.framebuffer);
    gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, null);
    gl.blitFramebuffer(0, 0, width, height, 0, height, width, 0, gl.COLOR_BUFFER_BIT, gl.NEAREST);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
  }

  // The program for lit or unlit drawing; equalCorners: every primitive's corners get one colour.
  program(lit, equalCorners) {
    const flat = equalCorners && !this.interpolatesEqualColours;
    if (lit) return flat ? this.programs.litFlat : this.programs.litSmooth;
    return flat ? this.programs.unlitFlat : this.programs.unlitSmooth;
  }

  use(program, transform) {
    const gl = this.gl;
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

  // Faces in one triangle batch, then segments in one line batch, lit by the faces' last normal.
  drawSolid(view, transform) {
    const gl = this.gl;
    const m = this.model;
    if (view.lighting) this.setLighting(this.program(true, !view.smooth), transform);
    else this.use(this.programs.unlitFlat, transform);
    // Unlit, the normals play no part: either set of triangles gives the same picture.
    const set = view.smooth || !view.lighting ? 'smooth' : 'flat';
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffers[set + 'Vertices']);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 28, 0);
    if (view.lighting) {
      gl.enableVertexAttribArray(1);
      gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 28, 16);
    } else {
      gl.disableVertexAttribArray(1);
    }
    gl.enableVertexAttribArray(2);
    gl.vertexAttribPointer(2, 1, gl.FLOAT, false, 28, 12);
    if (m.indexCount > 0) {
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.buffers[set + 'Indices']);
      gl.drawElements(gl.TRIANGLES, m.indexCount, gl.UNSIGNED_INT, 0);
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
    gl.drawArrays(gl.LINES, 0, m.segmentEnds);
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
    gl.drawElements(gl.LINES, m.edgeEnds, gl.UNSIGNED_SHORT, 0);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
  }
}
