// The page: the view state and its input (mouse and keys as in the desktop window, and touch),
// the canvas at the window's size in device pixels, opening models (a drop, the picker, ?model=URL
// or the model placed in the page), and the messages shown instead of a model.

const kStartView = { blackBackground: true, lighting: true, smooth: true, wireframe: false, rotX: 0, rotY: 0, distance: -500 };
const kFoldBeyond = 2 ** 30;  // degrees: beyond this, angles are folded by whole turns

const page = {
  view: { ...kStartView },
  drag: { rotating: false, zooming: false, lastX: 0, lastY: 0, lastZoomY: 0 },
  touch: null,          // while fingers touch: their last positions, and the span and distance a pinch began at
  loader: null,         // ModelLoader, once the module has started
  renderer: null,       // ModelRenderer, once WebGL has started
  gl: null,
  canvas: null,
  shown: false,         // a model is on show
  label: '',            // the name of the model on show, for messages
  frameRequest: 0,      // the pending animation frame's request, or 0
  firstFrameTime: 0,    // performance.now() when the first model's first frame was drawn
  // With ?timing in the address, each frame waits for the renderer to finish and its time is kept
  // in window.zemviewFrameTimes (milliseconds): the benchmarks read it.
  frameTimes: new URLSearchParams(window.location.search).has('timing') ? [] : null,
};

function addDegrees(angle, step) {
  let sum = angle + step;
  if (sum > kFoldBeyond || sum < -kFoldBeyond) sum %= 360;
  return sum;
}

// ---------------------------------------------------------------- messages and panels

function panel() {
  return document.getElementById('panel');
}

// Shows the panel with a heading and, when given, the lines as the console would print them.
function showMessage(heading, lines) {
  page.shown = false;
  document.getElementById('heading').textContent = heading;
  const pre = document.getElementById('lines');
  pre.textContent = lines || '';
  pre.hidden = !lines;
  document.getElementById('start').hidden = true;
  panel().hidden = false;
  document.documentElement.dataset.state = 'message';
  requestFrame();
}

function showStart() {
  document.getElementById('start').hidden = false;
  document.getElementById('heading').textContent = 'zemview';
  document.getElementById('lines').hidden = true;
  panel().hidden = false;
  document.documentElement.dataset.state = 'start';
}

function sizeText(bytes) {
  if (bytes >= 1e9) return (bytes / 1e9).toFixed(1) + ' GB';
  if (bytes >= 1e6) return (bytes / 1e6).toFixed(1) + ' MB';
  return bytes + ' bytes';
}

// ---------------------------------------------------------------- drawing

function resizeCanvas() {
  const canvas = page.canvas;
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
}

function requestFrame() {
  if (page.frameRequest || !page.renderer) return;
  page.frameRequest = requestAnimationFrame(drawFrame);
}

// Draws the frame now, in place of any frame requested.
function drawFrame() {
  if (page.frameRequest) cancelAnimationFrame(page.frameRequest);
  page.frameRequest = 0;
  if (!page.renderer || page.gl.isContextLost()) return;
  resizeCanvas();
  const start = performance.now();
  // Without a model on show the canvas, under the panel, is only cleared.
  if (!page.renderer.draw(page.shown ? page.view : kStartView, page.shown, page.canvas.width, page.canvas.height)) {
    const webgl = page.renderer.shortOf === 'WebGL';
    page.renderer.release();
    showMessage(page.label + ' is too large for this browser', webgl ? 'WebGL has no memory for the drawing of this view.' : page.loader.lines());
    return;
  }
  if (!page.shown) return;
  const first = page.firstFrameTime === 0;
  // Reading one pixel back waits until the renderer has drawn the whole frame.
  if (page.frameTimes || first) page.gl.readPixels(0, 0, 1, 1, page.gl.RGBA, page.gl.UNSIGNED_BYTE, new Uint8Array(4));
  if (page.frameTimes) {
    page.frameTimes.push(performance.now() - start);
    window.zemviewFrameTimes = page.frameTimes;
  }
  if (first) {
    page.firstFrameTime = performance.now();
    document.documentElement.dataset.firstFrame = String(page.firstFrameTime);
  }
}

// ---------------------------------------------------------------- opening models

// Shows the model whose text is in parts (Uint8Arrays, in order), or the loader's lines.
function showModel(label, parts) {
  if (!page.loader || !page.renderer) return;
  const result = page.loader.load(parts);
  if (!result.model) {
    page.renderer.release();
    showMessage(label + ' could not be loaded', result.lines);
    return;
  }
  // WebGL's memory for the upload is known after the first frame, which drawFrame checks.
  if (!page.renderer.upload(result.model)) {
    showMessage(label + ' is too large for this browser', page.loader.lines());
    return;
  }
  page.view = { ...kStartView };
  page.drag = { rotating: false, zooming: false, lastX: 0, lastY: 0, lastZoomY: 0 };
  page.shown = true;
  page.label = label;
  // At once: the first frame need not wait for the browser's next one; and before the panel goes,
  // so that reading the canvas's size does not make the browser lay the page out first.
  drawFrame();
  if (!page.shown) return;
  document.title = 'zemview - ' + result.model.name;
  panel().hidden = true;
  document.documentElement.dataset.state = 'model';
}

function tooLargeMessage(label, size) {
  return { heading: label + ' is too large for this browser',
    lines: 'The model has ' + sizeText(size) + ' of text; this page can hold at most ' + sizeText(kLargestText) + '.' };
}

async function openFile(file) {
  if (file.size > kLargestText) {
    const message = tooLargeMessage(file.name, file.size);
    return showMessage(message.heading, message.lines);
  }
  let buffer;
  try {
    buffer = await file.arrayBuffer();
  } catch (e) {
    return showMessage(file.name + ' could not be read', String(e && e.message ? e.message : e));
  }
  showModel(file.name, [new Uint8Array(buffer)]);
}

// The text at url in parts, as it came, or the heading and line of a message when it cannot be
// had. The request the page's head made for it is taken up where there is one. The parts are not
// joined: the loader copies each into its own memory, and joining them costs as much again.
async function fetchModel(url) {
  try {
    const early = window.zemModelRequest;
    const response = await (early && early.url === url ? early.response : fetch(url));
    if (!response.ok) return { heading: url + ' could not be fetched', lines: 'The server answered ' + response.status + ' ' + response.statusText + '.' };
    const length = Number(response.headers.get('Content-Length'));
    if (length > kLargestText) return tooLargeMessage(url, length);
    const reader = response.body.getReader();
    const parts = [];
    let size = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      size += value.length;
      if (size > kLargestText) {
        reader.cancel();
        return tooLargeMessage(url, size);
      }
      parts.push(value);
    }
    return { parts };
  } catch (e) {
    return { heading: url + ' could not be fetched', lines: String(e && e.message ? e.message : e) };
  }
}

// A model placed in the page: its bytes percent-encoded wherever a byte could end the element,
// be changed by HTML parsing (carriage returns, bytes above 127) or is a percent sign.
function placedModel() {
  const element = document.getElementById('zem-model');
  const text = element ? element.textContent : '';
  if (text.length === 0) return null;
  const bytes = new Uint8Array(text.length);
  let n = 0;
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (c === 37 && i + 2 < text.length) {
      bytes[n++] = parseInt(text.substr(i + 1, 2), 16);
      i += 2;
    } else {
      bytes[n++] = c;
    }
  }
  return { label: element.dataset.name || 'the model in this page', bytes: bytes.subarray(0, n) };
}

// ---------------------------------------------------------------- input

// The pointer in whole CSS pixels, as the window's pointer is in whole pixels: turns stay whole
// degrees, whatever fractions a touch screen reports.
function pointerX(event) {
  return Math.round(event.clientX);
}

function pointerY(event) {
  return Math.round(event.clientY);
}

function onMouseButton(event, down) {
  // Every button event, whatever its button, restarts both drags' measurements from here.
  const d = page.drag;
  d.lastX = pointerX(event);
  d.lastY = pointerY(event);
  d.lastZoomY = pointerY(event);
  if (event.button === 0) d.rotating = down;
  else if (event.button === 2) d.zooming = down;
}

// One CSS pixel of travel is one degree, or one model unit nearer (down) or farther (up).
function onMouseMove(event) {
  const d = page.drag;
  const v = page.view;
  if (!d.rotating && !d.zooming) return;
  const x = pointerX(event);
  const y = pointerY(event);
  if (d.rotating) {
    v.rotY = addDegrees(v.rotY, x - d.lastX);
    v.rotX = addDegrees(v.rotX, y - d.lastY);
    d.lastX = x;
    d.lastY = y;
  }
  if (d.zooming) {
    v.distance += y - d.lastZoomY;
    d.lastZoomY = y;
  }
  requestFrame();
}

function onKey(event) {
  if (event.ctrlKey || event.altKey || event.metaKey || !page.shown) return;
  const v = page.view;
  switch (event.key) {
  case 'b': v.blackBackground = !v.blackBackground; break;
  case 'l': v.lighting = !v.lighting; break;
  case 's': v.smooth = !v.smooth; break;
  case 'w': v.wireframe = !v.wireframe; break;
  default: return;
  }
  event.preventDefault();
  requestFrame();
}

function fingers(event) {
  return Array.from(event.touches).map((t) => ({ x: pointerX(t), y: pointerY(t) }));
}

function span(points) {
  return Math.hypot(points[0].x - points[1].x, points[0].y - points[1].y);
}

// One finger turns as the left button does; two fingers pinched apart bring the model nearer by
// the growth of their distance since the pinch began, one unit per pixel. A change in the number
// of fingers starts over from where the view is.
function onTouch(event) {
  if (!page.shown) return;
  event.preventDefault();
  const now = fingers(event);
  const before = page.touch;
  const v = page.view;
  const same = before && before.points.length === now.length && event.type === 'touchmove';
  page.touch = now.length === 0 ? null : same ? { ...before, points: now }
    : { points: now, startSpan: now.length === 2 ? span(now) : 0, startDistance: v.distance };
  if (!same) return;
  if (now.length === 1) {
    v.rotY = addDegrees(v.rotY, now[0].x - before.points[0].x);
    v.rotX = addDegrees(v.rotX, now[0].y - before.points[0].y);
  } else if (now.length === 2) {
    v.distance = before.startDistance + Math.round(span(now) - before.startSpan);
  }
  requestFrame();
}

function listen() {
  const canvas = page.canvas;
  canvas.addEventListener('mousedown', (e) => onMouseButton(e, true));
  window.addEventListener('mouseup', (e) => onMouseButton(e, false));
  window.addEventListener('mousemove', onMouseMove);
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  window.addEventListener('keydown', onKey);
  for (const type of ['touchstart', 'touchmove', 'touchend', 'touchcancel'])
    canvas.addEventListener(type, onTouch, { passive: false });
  window.addEventListener('resize', requestFrame);
  window.addEventListener('dragover', (e) => {
    e.preventDefault();
    e.dataTransfer.dropEffect = 'copy';
  });
  window.addEventListener('drop', (e) => {
    e.preventDefault();
    const file = e.dataTransfer.files[0];
    if (file) openFile(file);
  });
  const picker = document.getElementById('picker');
  picker.addEventListener('change', () => {
    if (picker.files[0]) openFile(picker.files[0]);
    picker.value = '';
  });
}

// ---------------------------------------------------------------- start

// WebGL, the canvas at its size and the first view's program and frame, which the browser then
// makes ready while the page loads the model.
function startGraphics() {
  const canvas = document.getElementById('view');
  page.canvas = canvas;
  const gl = canvas.getContext('webgl2', { antialias: false, alpha: false, depth: false, stencil: false, preserveDrawingBuffer: false });
  if (!gl) return false;
  page.gl = gl;
  canvas.addEventListener('webglcontextlost', (e) => {
    e.preventDefault();
    showMessage('The drawing stopped', 'The browser took WebGL away from this page; reload it to go on.');
  });
  resizeCanvas();
  page.renderer = new ModelRenderer(gl);
  page.renderer.prepare(canvas.width, canvas.height);
  return true;
}

async function start() {
  window.addEventListener('error', (e) => showMessage('Something went wrong', String(e.message)));
  window.addEventListener('unhandledrejection', (e) => showMessage('Something went wrong', String(e.reason)));
  // The model is asked for, the module started and WebGL set up at once, so that each goes on
  // while the next starts.
  const element = document.getElementById('zem-model');
  const url = new URLSearchParams(window.location.search).get('model');
  const fetching = !(element && element.textContent) && url ? fetchModel(url) : null;
  const starting = createZemLoader();
  if (!startGraphics()) {
    starting.catch(() => {});
    showMessage('This browser cannot show models', 'It offers no WebGL 2, which the viewer needs.');
    return;
  }
  const placed = placedModel();
  let module;
  try {
    module = await starting;
  } catch (e) {
    showMessage('This browser cannot show models', 'Its WebAssembly did not start: ' + String(e && e.message ? e.message : e));
    return;
  }
  page.loader = new ModelLoader(module);
  page.renderer.setPalette(page.loader.palette());
  listen();
  if (placed) {
    showModel(placed.label, [placed.bytes]);
  } else if (fetching) {
    const fetched = await fetching;
    if (fetched.parts) showModel(url, fetched.parts);
    else showMessage(fetched.heading, fetched.lines);
  } else {
    showStart();
    requestFrame();
  }
}

window.addEventListener('DOMContentLoaded', start);
