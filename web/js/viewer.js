// The page: the view state and its input (mouse, wheel, keys, touch and the controls over the
// picture), the canvas at the window's size in device pixels, the view a model opens with (the
// viewer's own, or framed where that would not show it), opening models (a drop, the picker,
// ?model=URL or the model placed in the page), and the messages shown instead of a model.

const kStartView = { blackBackground: true, lighting: true, smooth: true, wireframe: false, rotX: 0, rotY: 0, distance: -500 };
const kFoldBeyond = 2 ** 30;  // degrees: beyond this, angles are folded by whole turns
const kWheelNotch = 100;      // CSS pixels of wheel travel that browsers give one notch of a mouse wheel
const kNotchUnits = 20;       // a notch (and the + and - keys) moves as far as a right drag of this many pixels
const kArrowDegrees = 5;      // one press of an arrow key turns this far
const kFadeAfter = 3000;      // milliseconds without a pointer moving before the controls fade
const kSmallestPixels = 4;    // zooming out stops where the model would span fewer pixels than this
const kHalfFieldTangent = Math.tan(22.5 * Math.PI / 180);
const kRestAfter = 250;               // milliseconds without a change before a fill-bound model is drawn in full
const kFillPerPart = 64 * 640 * 480;  // pixels times layers of faces beyond which a frame is fill-bound
const kFillMoving = kFillPerPart / 4; // what a frame drawn while the view changes may fill

// This script also runs as the loader's worker (serveLoader), where there is no document.
const inPage = typeof document === 'object';
// The script's own text, which the loader's worker runs: read while it runs, as the page opens.
const kPageSource = inPage && document.currentScript ? document.currentScript.textContent : '';
const settings = new URLSearchParams(inPage ? window.location.search : '');
const kAntialiasKey = 'zemview.smoothEdges';
const kAntialiasSamples = 4;

// The browser's storage for the page's choices; a page whose storage is refused keeps them for the visit.
function remembered(key) {
  try {
    return window.localStorage.getItem(key);
  } catch (e) {
    return null;
  }
}

function remember(key, value) {
  try {
    window.localStorage.setItem(key, value);
  } catch (e) { /* kept for this visit only */ }
}

const page = {
  view: { ...kStartView },
  opened: null,         // the view the model on show opened with, which reset returns to
  drag: { rotating: false, zooming: false, panning: false, lastX: 0, lastY: 0, lastZoomY: 0 },
  touch: null,          // while fingers touch: their last positions, and the span and distance a pinch began at
  lastTap: 0,           // performance.now() of the last one-finger tap that did not move, for a double tap
  loader: null,         // LoaderClient, once the module has started
  renderer: null,       // ModelRenderer, once WebGL has started
  gl: null,
  canvas: inPage ? document.getElementById('view') : null,
  ready: false,         // the module and WebGL have started: models can be opened
  failed: false,        // they cannot start in this browser
  pending: null,        // a file chosen or dropped before the page was ready, opened once it is
  userChose: false,     // a file was chosen or dropped: a ?model= load still under way gives way to it
  extent: null,         // the model's bounding box centre and radii (ModelLoader.frame), for zoom limits
  shown: false,         // a model is on show
  label: '',            // the name of the model on show, for messages
  controls: settings.get('controls') !== 'none',  // ?controls=none: the picture alone
  antialias: remembered(kAntialiasKey) === 'on',   // smooth edges, the user's choice kept by the browser
  fadeTimer: 0,
  fill: 1,              // how many times over the model's faces cover the window in the view it opened with
  restAt: 0,            // performance.now() from which the view counts as resting
  restTimer: 0,
  parts: null,          // the full-resolution frame drawn in parts: the next part, their count, the frame's batches, the last one's fence
  frameRequest: 0,      // the pending animation frame's request, or 0
  firstFrameTime: 0,    // performance.now() when the first model's first frame was drawn
  loads: 0,             // models asked of the loader so far: an answer for an earlier one is not shown
  // With ?timing in the address, each frame waits for the renderer to finish and its time is kept
  // in window.zemviewFrameTimes (milliseconds): the benchmarks read it.
  frameTimes: settings.has('timing') ? [] : null,
};

function addDegrees(angle, step) {
  let sum = angle + step;
  if (sum > kFoldBeyond || sum < -kFoldBeyond) sum %= 360;
  return sum;
}

const byId = (id) => document.getElementById(id);

// ---------------------------------------------------------------- messages, panels and controls

// Whether the device in hand is a touch screen without a mouse: the help speaks of fingers.
function touchDevice() {
  return window.matchMedia('(hover: none) and (pointer: coarse)').matches;
}

function fillHelp() {
  const rows = touchDevice() ? [
    ['one finger', 'turns the model'],
    ['two fingers', 'pinch: nearer or farther; together: move it across'],
    ['double tap', 'back to the first view'],
    ['the buttons', 'background, lighting, smooth or flat, outlines, fit'],
  ] : [
    ['left drag, arrow keys', 'turn the model'],
    ['right drag, wheel, + and \u2212', 'nearer or farther'],
    ['shift or middle drag', 'move it across'],
    ['double click, r, Home, 0', 'back to the first view'],
    ['f', 'fit the whole model in the window'],
    ['b, l, s, w', 'background, lighting, smooth or flat, outlines'],
  ];
  for (const table of document.querySelectorAll('.keys')) {
    table.replaceChildren(...rows.map(([what, does]) => {
      const row = document.createElement('tr');
      for (const text of [what, does]) row.appendChild(document.createElement('td')).textContent = text;
      return row;
    }));
  }
  byId('drop-hint').hidden = touchDevice();
}

// Shows the panel with a heading and, when given, the lines as the console would print them.
function showMessage(heading, lines) {
  page.shown = false;
  document.title = 'zemview';
  byId('heading').textContent = heading;
  const pre = byId('lines');
  pre.textContent = lines || '';
  pre.hidden = !lines;
  byId('start').hidden = true;
  byId('progress').hidden = true;
  byId('panel').hidden = false;
  showControls(false);
  document.documentElement.dataset.state = 'message';
  requestFrame();
}

function showStart() {
  byId('start').hidden = false;
  byId('heading').textContent = 'zemview';
  byId('lines').hidden = true;
  byId('progress').hidden = true;
  byId('panel').hidden = false;
  document.documentElement.dataset.state = 'start';
}

// While a model is fetched: its name, the bytes so far and, when the size is known, a bar.
function showProgress(label, received, total) {
  byId('heading').textContent = 'Loading ' + label;
  byId('start').hidden = true;
  byId('lines').hidden = true;
  const bar = byId('bar');
  if (total > 0) bar.max = total;
  if (total > 0) bar.value = received; else bar.removeAttribute('value');
  byId('received').textContent = total > 0 ? memoryWords(received) + ' of ' + memoryWords(total) : memoryWords(received);
  byId('progress').hidden = false;
  byId('panel').hidden = false;
  document.documentElement.dataset.state = 'loading';
}

// One line over the picture, shown with the controls.
function showNote(text) {
  const note = byId('note');
  note.textContent = text;
  note.hidden = !text || !page.controls;
}

function showControls(on) {
  byId('controls').hidden = !(on && page.controls);
  if (!on) byId('note').hidden = true;
  if (on) wakeControls();
}

// The controls come back on any pointer movement or touch, and fade a few seconds after.
function wakeControls() {
  document.documentElement.classList.remove('idle');
  clearTimeout(page.fadeTimer);
  page.fadeTimer = setTimeout(() => document.documentElement.classList.add('idle'), kFadeAfter);
}

function updateControls() {
  const v = page.view;
  const pressed = { 'c-background': v.blackBackground, 'c-lighting': v.lighting, 'c-smooth': v.smooth, 'c-outlines': v.wireframe,
    'c-fullscreen': !!document.fullscreenElement, 'c-antialias': page.antialias };
  for (const [id, on] of Object.entries(pressed)) byId(id).setAttribute('aria-pressed', String(on));
}

function toggleHelp(open) {
  const help = byId('help');
  const show = open === undefined ? help.hidden : open;
  help.hidden = !show;
  byId('c-help').setAttribute('aria-expanded', String(show));
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

// Every change of the view asks for a frame here: it also puts off the full-resolution frame of a
// fill-bound model until the view rests, and drops the rest of one under way.
function requestFrame() {
  page.restAt = performance.now() + kRestAfter;
  cancelParts();
  if (page.frameRequest || !page.renderer) return;
  page.frameRequest = requestAnimationFrame(drawFrame);
}

// Draws the frame now, in place of any frame requested.
function drawFrame() {
  if (page.frameRequest) cancelAnimationFrame(page.frameRequest);
  page.frameRequest = 0;
  if (!page.renderer || page.gl.isContextLost()) return;
  resizeCanvas();
  // Streams the view needs that the loader is still making: the picture stays until they come.
  if (page.shown && page.renderer.model && page.renderer.model.missing(page.renderer.streamsFor(page.view), requestFrame).length) {
    document.documentElement.dataset.drawn = 'waiting';
    return;
  }
  const load = page.shown ? page.fill * page.canvas.width * page.canvas.height : 0;
  if (load > kFillPerPart && !page.frameTimes) return drawFillBound(load);
  const start = performance.now();
  // Without a model on show the canvas, under the panel, is only cleared.
  if (!drawPart(undefined)) return;
  if (!page.shown) return;
  document.documentElement.dataset.drawn = 'full';
  const first = page.firstFrameTime === 0;
  // Reading one pixel back waits until the renderer has drawn the whole frame.
  if (page.frameTimes || first) page.gl.readPixels(0, 0, 1, 1, page.gl.RGBA, page.gl.UNSIGNED_BYTE, new Uint8Array(4));
  if (page.frameTimes) {
    page.frameTimes.push(performance.now() - start);
    window.zemviewFrameTimes = page.frameTimes;
  }
  if (first) noteFirstFrame();
}

function noteFirstFrame() {
  page.firstFrameTime = performance.now();
  document.documentElement.dataset.firstFrame = String(page.firstFrameTime);
}

// A part of the frame (ModelRenderer.draw), or the message when memory ran short for it.
function drawPart(part) {
  if (page.renderer.draw(page.shown ? page.view : kStartView, page.shown, page.canvas.width, page.canvas.height, part)) return true;
  const webgl = page.renderer.shortOf === 'WebGL';
  cancelParts();
  page.renderer.release();
  showMessage(page.label + ' is too large for this browser', webgl ? 'WebGL has no memory for the drawing of this view.' : page.loader.lines());
  return false;
}

// A model whose faces cover the window many times over takes the renderer seconds a frame. While
// its view changes it is drawn smaller, at a quarter of the fill of the largest ordinary frame, and
// stretched; once the view rests it is drawn at full resolution in parts of its faces, each of
// about the fill of the largest ordinary frame, the next part only once the renderer has finished
// the last, so that input never waits behind more than one. The canvas keeps the stretched picture
// until the last part is drawn. Parts of the faces rather than bands of the window's rows: each
// band took every face through the renderer's vertex work again, which for a window-filling
// model made eight bands cost the renderer nearly three times one frame.
function drawFillBound(load) {
  const now = performance.now();
  if (now < page.restAt) {
    if (!drawPart({ scale: Math.sqrt(kFillMoving / load) })) return;
    document.documentElement.dataset.drawn = 'scaled';
    clearTimeout(page.restTimer);
    page.restTimer = setTimeout(() => {
      if (!page.frameRequest && !page.parts) page.frameRequest = requestAnimationFrame(drawFrame);
    }, page.restAt - now);
    return;
  }
  const batches = page.renderer.batchCount(page.view);
  page.parts = { next: 0, count: Math.max(1, Math.min(Math.ceil(load / kFillPerPart), batches)), batches, fence: null };
  drawNextPart();
}

function drawNextPart() {
  const p = page.parts;
  const gl = page.gl;
  const batches = [Math.floor(p.batches * p.next / p.count), Math.floor(p.batches * (p.next + 1) / p.count)];
  p.next++;
  if (!drawPart({ batches, show: p.next === p.count })) return;
  p.fence = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
  gl.flush();
  setTimeout(waitForPart, 1);
}

function waitForPart() {
  const p = page.parts;
  const gl = page.gl;
  if (!p || !p.fence) return;
  if (gl.getSyncParameter(p.fence, gl.SYNC_STATUS) !== gl.SIGNALED) {
    setTimeout(waitForPart, 4);
    return;
  }
  gl.deleteSync(p.fence);
  p.fence = null;
  if (p.next < p.count) return drawNextPart();
  page.parts = null;
  document.documentElement.dataset.drawn = 'full';
  if (page.firstFrameTime === 0) noteFirstFrame();
}

function cancelParts() {
  if (page.parts && page.parts.fence) page.gl.deleteSync(page.parts.fence);
  page.parts = null;
}

// ---------------------------------------------------------------- framing and view changes

// The frame whose content every window shape shows: the window itself, or for a window narrower
// than the first one (4:3), its width by three quarters of it, as the projection widens the field.
function frameSize() {
  resizeCanvas();
  const width = page.canvas.width;
  return { width, height: Math.min(page.canvas.height, Math.max(1, Math.round(width * 3 / 4))) };
}

// The model placed as zemrender --fit places it, turned by rotX and rotY.
async function framedView(rotX, rotY) {
  const size = frameSize();
  const f = await page.loader.frame(size.width, size.height, rotX, rotY);
  return { rotX, rotY, shift: f.shift, distance: f.distance, nearPlane: f.nearPlane, farPlane: f.farPlane,
    pivot: [0, 0, 0], framed: true };
}

// Rotation about X then Y of p, as the frame turns the model, in double precision.
function turned(p, rotX, rotY) {
  const ax = rotX * Math.PI / 180, ay = rotY * Math.PI / 180;
  const x1 = p[0] * Math.cos(ay) + p[2] * Math.sin(ay);
  const z1 = -p[0] * Math.sin(ay) + p[2] * Math.cos(ay);
  return [x1, p[1] * Math.cos(ax) - z1 * Math.sin(ax), p[1] * Math.sin(ax) + z1 * Math.cos(ax)];
}

// Where the centre of the model's bounding box is in eye space, and how far every vertex can be
// from it: what the zoom limits and a framed view's depth range are measured on.
function seenCentre(v) {
  const e = page.extent;
  const pivot = v.pivot || [0, 0, 0];
  const shift = v.shift || [0, 0, 0];
  const c = turned([e.centre[0] - pivot[0], e.centre[1] - pivot[1], e.centre[2] - pivot[2]], v.rotX, v.rotY);
  return { at: [shift[0] + c[0], shift[1] + c[1], shift[2] + v.distance + c[2]], radius: Math.max(e.fromCentre, 1e-6) };
}

// A framed view's depth range once it moved: the sphere around the model's centre, enclosed.
function enclose(v) {
  if (!v.framed) return;
  const s = seenCentre(v);
  const depth = -s.at[2];
  v.nearPlane = Math.max((depth - s.radius) * 0.99, depth * 1e-4);
  v.farPlane = (depth + s.radius) * 1.01;
}

// A framed view turns about the model's centre, not the file's origin, which may lie far from it:
// on the first turn the view takes the centre as its pivot, shifted so that the picture stays.
function pivotOnCentre(v) {
  if (!v.framed || (v.pivot[0] || v.pivot[1] || v.pivot[2])) return;
  const e = page.extent;
  const c = turned(e.centre, v.rotX, v.rotY);
  v.pivot = e.centre.slice();
  v.shift = [v.shift[0] + c[0], v.shift[1] + c[1], v.shift[2] + c[2]];
  enclose(v);
}

function turnBy(dx, dy) {
  const v = page.view;
  pivotOnCentre(v);
  v.rotY = addDegrees(v.rotY, dx);
  v.rotX = addDegrees(v.rotX, dy);
  enclose(v);
  requestFrame();
}

// One right-drag pixel: a model unit in the viewer's own view; in a framed view the same share of
// the model's depth as a unit is of the first view's 500.
function zoomUnit(v) {
  return v.framed ? Math.max(-seenCentre(v).at[2], 1e-6) / 500 : 1;
}

// Moves the model nearer by pixels of right drag (farther when negative), never so near that a
// vertex could cross the eye's near plane nor so far that the model would shrink to a few pixels.
// A limit only stops a movement towards it: a view already beyond it is left where it is.
function zoomBy(pixels) {
  const v = page.view;
  const s = seenCentre(v);
  const depth = -s.at[2];
  const closest = v.framed ? 0.1 * s.radius : (v.nearPlane || 1);
  const height = page.canvas.clientHeight || 1;
  const farthest = Math.max(s.radius / kHalfFieldTangent * height / (2 * kSmallestPixels), closest + s.radius);
  let wanted = v.distance + pixels * zoomUnit(v);
  const wantedDepth = depth - (wanted - v.distance);
  if (pixels > 0 && wantedDepth - s.radius < closest) wanted = Math.max(v.distance, v.distance + depth - s.radius - closest);
  const farLimit = v.framed ? farthest : Math.min(farthest, Math.max(3000 - s.radius, closest + s.radius));
  if (pixels < 0 && wantedDepth > farLimit) wanted = Math.min(v.distance, v.distance - (farLimit - depth));
  v.distance = wanted;
  enclose(v);
  requestFrame();
}

// Moves the model across by CSS pixels, as far as it then moves on the screen at its centre's depth.
function panBy(dx, dy) {
  const v = page.view;
  const s = seenCentre(v);
  const perPixel = 2 * kHalfFieldTangent * -s.at[2] / (page.canvas.clientHeight || 1);
  const shift = v.shift || [0, 0, 0];
  v.shift = [shift[0] + dx * perPixel, shift[1] - dy * perPixel, shift[2]];
  requestFrame();
}

// Back to the place and turn the model opened with; the four settings stay as they are.
function resetView() {
  if (!page.shown) return;
  const o = page.opened;
  Object.assign(page.view, { rotX: o.rotX, rotY: o.rotY, distance: o.distance, shift: o.shift.slice(), pivot: o.pivot.slice(),
    nearPlane: o.nearPlane, farPlane: o.farPlane, framed: o.framed });
  requestFrame();
}

async function fitView() {
  if (!page.shown) return;
  const shown = page.loads;
  const framed = await framedView(page.view.rotX, page.view.rotY);
  if (shown !== page.loads || !page.shown) return;
  Object.assign(page.view, framed);
  showNote('');
  requestFrame();
}

function toggle(setting) {
  if (!page.shown) return;
  page.view[setting] = !page.view[setting];
  updateControls();
  requestFrame();
}

// ---------------------------------------------------------------- opening models

// The view a model opens with: the viewer's first view where it shows the whole model at a size
// one can see, else the model framed, with a line that says why.
async function openingView() {
  const size = frameSize();
  const seen = await page.loader.startView(size.width, size.height);
  const plain = { ...kStartView, shift: [0, 0, 0], pivot: [0, 0, 0], nearPlane: 1, farPlane: 3000, framed: false };
  if (seen === kStartViewWhole) return { view: plain, note: '' };
  return { view: { ...plain, ...(await framedView(0, 0)) },
    note: seen === kStartViewCut ? 'Framed to show the whole model: the first view would cut it.'
      : 'Framed to show the whole model: in the first view it would be too small to see.' };
}

// Shows the model whose text is in parts (Uint8Arrays, in order, handed over to the loader), or the
// loader's lines. The loader answers later: a model opened meanwhile wins, whichever answers first.
async function showModel(label, parts) {
  if (!page.ready) return;
  const load = ++page.loads;
  const result = await page.loader.load(parts);
  if (load !== page.loads) return;
  if (!result.model) {
    page.renderer.release();
    showMessage(label + ' could not be loaded', result.lines);
    return;
  }
  if (result.model.indexCount === 0 && result.model.segmentEnds === 0) {
    page.renderer.release();
    showMessage(label + ' has nothing to draw', 'The model has no faces and no segments.');
    return;
  }
  const extent = await page.loader.frame(1, 1, 0, 0);
  const opening = await openingView();
  const size = frameSize();
  const fill = await page.loader.coverage(size.width, size.height, opening.view);
  if (load !== page.loads) return;
  await page.renderer.stage(result.model);
  if (load !== page.loads) return;
  // WebGL's memory for the upload is known after the first frame, which drawFrame checks.
  if (!page.renderer.upload(result.model)) {
    showMessage(label + ' is too large for this browser', page.loader.lines());
    return;
  }
  page.extent = extent;
  page.opened = opening.view;
  page.view = { ...opening.view, shift: opening.view.shift.slice(), pivot: opening.view.pivot.slice() };
  page.drag = { rotating: false, zooming: false, panning: false, lastX: 0, lastY: 0, lastZoomY: 0 };
  page.shown = true;
  page.label = label;
  page.fill = Math.max(1, fill);
  // A fill-bound model is first drawn small, at once, then in full.
  cancelParts();
  page.restAt = performance.now() + 1;
  // At once: the first frame need not wait for the browser's next one; and before the panel goes,
  // so that reading the canvas's size does not make the browser lay the page out first.
  drawFrame();
  if (!page.shown) return;
  document.title = 'zemview - ' + result.model.name;
  page.canvas.setAttribute('aria-label', 'The model ' + result.model.name);
  byId('panel').hidden = true;
  updateControls();
  showControls(true);
  showNote(opening.note);
  document.documentElement.dataset.state = 'model';
}

function tooLargeMessage(label, size) {
  return { heading: label + ' is too large for this browser',
    lines: 'The model has ' + memoryWords(size) + ' of text; this page can hold at most ' + memoryWords(kLargestText) + '.' };
}

// A file the user chose or dropped: it wins over a ?model= load under way, and waits for the
// page to start when it has not yet.
function chooseFile(file, note) {
  page.userChose = true;
  const early = window.zemModelRequest;
  if (early && early.controller) early.controller.abort();
  if (page.failed) return;
  if (!page.ready) {
    page.pending = { file, note };
    showProgress(file.name, 0, 0);
    return;
  }
  openFile(file, note);
}

async function openFile(file, note) {
  if (file.size > kLargestText) {
    const message = tooLargeMessage(file.name, file.size);
    return showMessage(message.heading, message.lines);
  }
  let buffer;
  try {
    buffer = await file.arrayBuffer();
  } catch (e) {
    return showMessage(file.name + ' could not be read', 'The browser could not read the file: ' + errorText(e));
  }
  const load = page.loads + 1;
  await showModel(file.name, [new Uint8Array(buffer)]);
  if (page.shown && note && load === page.loads) showNote(note);
}

function errorText(e) {
  return String(e && e.message ? e.message : e);
}

// Why a fetch the browser refused failed, in the page's words: the browser gives no reason.
function refusedFetchText() {
  if (window.location.protocol === 'file:')
    return 'This page was opened from a file, and browsers do not let such a page fetch models. ' +
      'Open the model with the button below, or drop it on the page.';
  return 'The browser could not fetch it: the server did not answer, the address is wrong, or the server ' +
    'does not let pages of other sites read its files.';
}

// The text at url in parts, as it came, or the heading and line of a message when it cannot be
// had; null when the user chose a file meanwhile. The request the page's head made for it is
// taken up. The parts are not joined: the loader copies each into its own memory, and joining
// them costs as much again.
async function fetchModel(label) {
  const early = window.zemModelRequest;
  if (early.refused) return { heading: label + ' could not be fetched', lines: early.refused };
  try {
    const response = await early.response;
    if (!response.ok) return { heading: label + ' could not be fetched', lines: 'The server answered ' + response.status + ' ' + response.statusText + '.' };
    const length = Number(response.headers.get('Content-Length'));
    if (length > kLargestText) return tooLargeMessage(label, length);
    const reader = response.body.getReader();
    const parts = [];
    let size = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      size += value.length;
      if (size > kLargestText) {
        reader.cancel();
        return tooLargeMessage(label, size);
      }
      parts.push(value);
      if (!page.userChose) showProgress(label, size, length);
    }
    return { parts };
  } catch (e) {
    if (page.userChose) return null;
    return { heading: label + ' could not be fetched', lines: e instanceof TypeError ? refusedFetchText() : errorText(e) };
  }
}

// A model placed in the page: its bytes percent-encoded wherever a byte could end the element,
// be changed by HTML parsing (carriage returns, bytes above 127) or is a percent sign.
function placedModel() {
  const element = byId('zem-model');
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
  const pan = event.button === 1 || (event.button === 0 && event.shiftKey);
  if (event.button === 0 || event.button === 1) {
    d.rotating = down && !pan;
    d.panning = down && pan;
  } else if (event.button === 2) {
    d.zooming = down;
  }
  if (down && event.button === 1) event.preventDefault();
}

// One CSS pixel of travel is one degree, or one model unit nearer (down) or farther (up).
function onMouseMove(event) {
  wakeControls();
  const d = page.drag;
  if (!page.shown || (!d.rotating && !d.zooming && !d.panning)) return;
  const x = pointerX(event);
  const y = pointerY(event);
  if (d.rotating) turnBy(x - d.lastX, y - d.lastY);
  if (d.panning) panBy(x - d.lastX, y - d.lastY);
  d.lastX = x;
  d.lastY = y;
  if (d.zooming) {
    zoomBy(y - d.lastZoomY);
    d.lastZoomY = y;
  }
}

// A wheel notch, or a trackpad's scroll or pinch of the same travel, zooms as far as kNotchUnits
// pixels of right drag: down or apart-to-together moves the model away.
function onWheel(event) {
  event.preventDefault();
  if (!page.shown) return;
  const scale = event.deltaMode === 1 ? 40 : event.deltaMode === 2 ? 800 : 1;
  zoomBy(-event.deltaY * scale / kWheelNotch * kNotchUnits);
}

const kKeys = {
  b: () => toggle('blackBackground'),
  l: () => toggle('lighting'),
  s: () => toggle('smooth'),
  w: () => toggle('wireframe'),
  r: resetView, Home: resetView, 0: resetView,
  f: fitView,
  '+': () => zoomBy(kNotchUnits), '=': () => zoomBy(kNotchUnits),
  '-': () => zoomBy(-kNotchUnits), '\u2212': () => zoomBy(-kNotchUnits),
  ArrowLeft: () => turnBy(-kArrowDegrees, 0), ArrowRight: () => turnBy(kArrowDegrees, 0),
  ArrowUp: () => turnBy(0, -kArrowDegrees), ArrowDown: () => turnBy(0, kArrowDegrees),
  '?': () => toggleHelp(), h: () => toggleHelp(),
  Escape: () => toggleHelp(false),
};

function onKey(event) {
  if (event.ctrlKey || event.altKey || event.metaKey || !page.shown) return;
  const action = kKeys[event.key];
  if (!action) return;
  event.preventDefault();
  action();
}

function fingers(event) {
  return Array.from(event.touches).map((t) => ({ x: pointerX(t), y: pointerY(t) }));
}

function span(points) {
  return Math.hypot(points[0].x - points[1].x, points[0].y - points[1].y);
}

function middle(points) {
  return { x: (points[0].x + points[1].x) / 2, y: (points[0].y + points[1].y) / 2 };
}

// One finger turns as the left button does; two fingers pinched apart bring the model nearer by
// the growth of their distance since the pinch began, one unit per pixel, and moved together move
// it across. A change in the number of fingers starts over from where the view is. A tap twice
// in quick succession resets the view.
function onTouch(event) {
  wakeControls();
  if (!page.shown) return;
  event.preventDefault();
  const now = fingers(event);
  const before = page.touch;
  const same = before && before.points.length === now.length && event.type === 'touchmove';
  if (event.type === 'touchend' && now.length === 0 && before && before.points.length === 1 && !before.moved) {
    const time = performance.now();
    if (time - page.lastTap < 350) resetView();
    page.lastTap = time;
  }
  page.touch = now.length === 0 ? null : same ? { ...before, points: now, moved: before.moved || now.some((p, i) => p.x !== before.points[i].x || p.y !== before.points[i].y) }
    : { points: now, startSpan: now.length === 2 ? span(now) : 0, grown: 0, moved: false };
  if (!same) return;
  if (now.length === 1) {
    turnBy(now[0].x - before.points[0].x, now[0].y - before.points[0].y);
  } else if (now.length === 2) {
    const grown = Math.round(span(now) - before.startSpan);
    zoomBy(grown - before.grown);
    page.touch.grown = grown;
    const a = middle(before.points), b = middle(now);
    if (a.x !== b.x || a.y !== b.y) panBy(b.x - a.x, b.y - a.y);
  }
}

function onDrop(event) {
  event.preventDefault();
  document.documentElement.classList.remove('dropping');
  const files = event.dataTransfer.files;
  if (files.length === 0) return;
  chooseFile(files[0], files.length > 1 ? files.length + ' files were dropped; this page shows one at a time: ' + files[0].name + '.' : '');
}

// Registered as soon as the script runs, before the module and WebGL start: a file dropped or
// chosen meanwhile is held, and a drop never opens the file in the tab.
function listen() {
  const canvas = page.canvas;
  canvas.addEventListener('mousedown', (e) => onMouseButton(e, true));
  window.addEventListener('mouseup', (e) => onMouseButton(e, false));
  window.addEventListener('mousemove', onMouseMove);
  canvas.addEventListener('dblclick', resetView);
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  canvas.addEventListener('wheel', onWheel, { passive: false });
  window.addEventListener('keydown', onKey);
  for (const type of ['touchstart', 'touchmove', 'touchend', 'touchcancel'])
    canvas.addEventListener(type, onTouch, { passive: false });
  window.addEventListener('resize', requestFrame);
  window.addEventListener('dragover', (e) => {
    e.preventDefault();
    e.dataTransfer.dropEffect = 'copy';
    document.documentElement.classList.add('dropping');
  });
  window.addEventListener('dragleave', (e) => {
    if (!e.relatedTarget) document.documentElement.classList.remove('dropping');
  });
  window.addEventListener('drop', onDrop);
  const picker = byId('picker');
  picker.addEventListener('change', () => {
    if (picker.files[0]) chooseFile(picker.files[0], '');
    picker.value = '';
  });
  const actions = {
    'open-start': () => picker.click(), 'c-open': () => picker.click(), 'c-reset': resetView, 'c-fit': fitView,
    'c-background': () => toggle('blackBackground'), 'c-lighting': () => toggle('lighting'),
    'c-smooth': () => toggle('smooth'), 'c-outlines': () => toggle('wireframe'),
    'c-help': () => toggleHelp(), 'c-fullscreen': toggleFullscreen, 'c-antialias': toggleAntialias,
  };
  for (const [id, action] of Object.entries(actions)) byId(id).addEventListener('click', action);
  document.addEventListener('fullscreenchange', updateControls);
  byId('c-fullscreen').hidden = !document.fullscreenEnabled;
}

// Smooth edges are off by default, so that the picture is the viewer's own.
function toggleAntialias() {
  page.antialias = !page.antialias;
  remember(kAntialiasKey, page.antialias ? 'on' : 'off');
  if (page.renderer) page.renderer.samples = page.antialias ? kAntialiasSamples : 0;
  updateControls();
  requestFrame();
}

function toggleFullscreen() {
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  else document.documentElement.requestFullscreen().catch(() => {});
}

// ---------------------------------------------------------------- start

// WebGL, the canvas at its size and the first view's program and frame, which the browser then
// makes ready while the page loads the model.
// WebGL's start, with the module's (startModule) once the context is made, in tasks of their own,
// the page answering between them: the context, the module's start, the renderer's questions to
// WebGL, the first view's program (which WebGL compiles while the page goes on) and a first draw,
// each of which takes tens of milliseconds. The context's creation waits for the browser's GPU
// process, which the module's compiling on another processor slowed to over 100 ms alongside.
async function startGraphics(startModule) {
  const canvas = page.canvas;
  const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));
  const gl = canvas.getContext('webgl2', { antialias: false, alpha: false, depth: false, stencil: false, preserveDrawingBuffer: false });
  if (!gl) return false;
  page.gl = gl;
  canvas.addEventListener('webglcontextlost', (e) => {
    e.preventDefault();
    showMessage('The drawing stopped', 'The browser took WebGL away from this page; reload it to go on.');
  });
  await nextTask();
  startModule();
  await nextTask();
  resizeCanvas();
  const renderer = new ModelRenderer(gl);
  renderer.samples = page.antialias ? kAntialiasSamples : 0;
  await nextTask();
  renderer.programNamed('litSmooth');
  await nextTask();
  renderer.prepare(canvas.width, canvas.height);
  page.renderer = renderer;
  return true;
}

function cannotStart(line) {
  page.failed = true;
  showMessage('This browser cannot show models', line);
}

async function start() {
  window.addEventListener('error', (e) => showMessage('Something went wrong', String(e.message)));
  window.addEventListener('unhandledrejection', (e) => showMessage('Something went wrong', String(e.reason)));
  fillHelp();
  // The model is asked for, WebGL set up and the module started at once, one after another, so
  // that each goes on while the next starts.
  const placed = placedModel();
  const early = window.zemModelRequest;
  const url = early && !placed ? early.label : null;
  if (url && !page.userChose) showProgress(url, 0, 0);
  const fetching = url ? fetchModel(url) : null;
  let starting;
  const startModule = () => {
    try {
      starting = typeof WebAssembly === 'object' ? LoaderClient.start(kPageSource) : Promise.reject(new Error('no WebAssembly'));
    } catch (e) {
      starting = Promise.reject(e);
    }
    // Its failure is shown once WebGL has started, not as an unhandled one meanwhile.
    starting.catch(() => {});
  };
  if (!(await startGraphics(startModule))) {
    return cannotStart('It offers no WebGL 2, which the viewer needs.');
  }
  let loader;
  try {
    loader = await starting;
  } catch (e) {
    return cannotStart('Its WebAssembly did not start (' + errorText(e) + '), which the viewer needs.');
  }
  page.loader = loader;
  page.renderer.setPalette(page.loader.palette());
  page.ready = true;
  if (page.pending) {
    openFile(page.pending.file, page.pending.note);
  } else if (placed) {
    showModel(placed.label, [placed.bytes]);
  } else if (fetching) {
    const fetched = await fetching;
    if (page.userChose || !fetched) return;
    if (fetched.parts) showModel(url, fetched.parts);
    else showMessage(fetched.heading, fetched.lines);
  } else {
    showStart();
    requestFrame();
  }
}

if (inPage) {
  listen();
  window.addEventListener('DOMContentLoaded', start);
} else {
  serveLoader();
}
