// The page's side of the WebAssembly loader: a model's bytes in, the loader's lines and the
// drawing streams (views into the module's memory) out.

// The largest text the module's 32-bit memory can take, with room left for the tables.
const kLargestText = 3 * 1024 * 1024 * 1024;
// The parts of a model zemBuild makes when first drawn (WebParts in web/binding.h).
const kFlatFaces = 1;
const kOutlines = 2;
// How the viewer's first view shows a model (WebStartView in web/binding.h).
const kStartViewWhole = 0;
const kStartViewCut = 1;
// Where the fields of a WebModel record lie, in 32-bit words from its start, and those of its two
// WebTriangles from theirs (WebModelWord and WebTrianglesWord in web/binding.h, with the same names).
const kWordName = 0;
const kWordIndexCount = 1;
const kWordSmooth = 2;
const kWordFlat = 6;
const kWordSegmentEnds = 10;
const kWordSegmentPositions = 11;
const kWordTableVertices = 12;
const kWordTablePositions = 13;
const kWordEdgeEnds = 14;
const kWordEdges = 15;
const kWordHasFace = 16;
const kWordLastNormals = 17;
const kWordVertexCount = 0;
const kWordVertices = 1;
const kWordIndices = 2;
const kWordIndexBytes = 3;

class ModelLoader {
  constructor(module) {
    this.module = module;
  }

  lines() {
    return this.cString(this.module._zemLines() >>> 0);
  }

  palette() {
    const at = this.module._zemPalette() >>> 2;
    return this.module.HEAPF32.slice(at, at + 32 * 3);
  }

  // { model } after a load of the text in parts (Uint8Arrays, in order), or { lines } with the
  // loader's own lines when it failed. The model stays in the module until the next load.
  load(parts) {
    const m = this.module;
    const length = parts.reduce((sum, part) => sum + part.length, 0);
    const text = m._zemTextBuffer(length) >>> 0;
    if (text === 0) return { lines: this.lines() };
    let at = text;
    for (const part of parts) {
      m.HEAPU8.set(part, at);
      at += part.length;
    }
    const record = m._zemLoad(length) >>> 0;
    if (record === 0) return { lines: this.lines() };
    return { model: this.readModel(record), lines: this.lines() };
  }

  // The model loaded last placed as zemrender --fit places it in a picture of width x height turned
  // by rotX and rotY (whole degrees), and its bounding box's centre and radii (zemFrame).
  frame(width, height, rotX, rotY) {
    const at = (this.module._zemFrame(width, height, rotX, rotY) >>> 0) >>> 3;
    const f = Array.from(this.module.HEAPF64.subarray(at, at + 11));
    return { shift: f.slice(0, 3), distance: f[3], nearPlane: f[4], farPlane: f[5], centre: f.slice(6, 9),
      fromOrigin: f[9], fromCentre: f[10] };
  }

  // How many times over the model's faces cover a picture of width x height in view (zemCoverage).
  coverage(width, height, view) {
    const shift = view.shift || [0, 0, 0];
    return this.module._zemCoverage(width, height, view.rotX, view.rotY, shift[0], shift[1], shift[2], view.distance);
  }

  // kStartViewWhole, kStartViewCut or kStartViewTooSmall for the model loaded last.
  startView(width, height) {
    return this.module._zemStartView(width, height);
  }

  // A zero-ended string of the module's memory; bytes that are no UTF-8 show as U+FFFD.
  cString(pointer) {
    const heap = this.module.HEAPU8;
    let end = pointer;
    while (heap[end] !== 0) end++;
    return new TextDecoder().decode(heap.subarray(pointer, end));
  }

  // The WebModel record's counts (web/binding.h); its streams are read by streams(), when drawn.
  readModel(record) {
    const m = this.module;
    const u32 = (i) => m.HEAPU32[(record >>> 2) + i] >>> 0;
    return {
      name: this.cString(u32(kWordName)),
      indexCount: u32(kWordIndexCount),
      segmentEnds: u32(kWordSegmentEnds),
      tableVertices: u32(kWordTableVertices),
      edgeEnds: u32(kWordEdgeEnds),
      hasFace: u32(kWordHasFace) !== 0,
      lastNormals: m.HEAPF32.slice((record >>> 2) + kWordLastNormals, (record >>> 2) + kWordLastNormals + 6),
      streams: (name) => this.streams(record, name),
    };
  }

  // Views into the module's memory of the model's named streams ('smooth', 'flat', 'segments',
  // 'outlines'), built first where the first view did not need them: null when memory ran out (the
  // loader's lines say so). Building may move the module's memory, which ends earlier views, so
  // that views are taken here and used at once.
  streams(record, name) {
    const m = this.module;
    const part = { flat: kFlatFaces, outlines: kOutlines }[name];
    if (part && (m._zemBuild(part) >>> 0) === 0) return null;
    const u32 = (i) => m.HEAPU32[(record >>> 2) + i] >>> 0;
    const bytes = (pointer, length) => m.HEAPU8.subarray(pointer, pointer + length);
    const indexCount = u32(kWordIndexCount);
    const triangles = (at) => ({
      vertices: bytes(u32(at + kWordVertices), u32(at + kWordVertexCount) * 28),
      indices: bytes(u32(at + kWordIndices), indexCount * u32(at + kWordIndexBytes)),
      indexBytes: u32(at + kWordIndexBytes),
    });
    if (name === 'smooth') return triangles(kWordSmooth);
    if (name === 'flat') return triangles(kWordFlat);
    if (name === 'segments') return { positions: bytes(u32(kWordSegmentPositions), u32(kWordSegmentEnds) * 16) };
    return { table: bytes(u32(kWordTablePositions), u32(kWordTableVertices) * 12),
      edges: bytes(u32(kWordEdges), u32(kWordEdgeEnds) * 2) };
  }
}

// ---------------------------------------------------------------- the loader in a worker

// The loader runs in a worker of its own where the browser starts one, so that the parsing,
// normals and streams of a large model never hold up the page: the page asks by message
// (LoaderClient) and draws what comes back. Each answer is made here, in the worker or, where
// none starts, in the page itself. state: the model loaded last and the page's number for it.
function answerRequest(loader, state, request) {
  const a = request.args || [];
  switch (request.op) {
    case 'palette': return { palette: loader.palette() };
    case 'load': {
      state.model = null;
      state.number = request.number;
      const result = loader.load(request.parts);
      if (!result.model) return { lines: result.lines };
      state.model = result.model;
      const { streams, ...counts } = result.model;
      // Copies out of the module's memory, which the next build may move.
      return { model: counts, parts: { smooth: copyViews(streams('smooth')), segments: copyViews(streams('segments')) },
        lines: result.lines };
    }
    case 'streams': {
      if (!state.model || state.number !== request.number) return { stale: true };
      const views = state.model.streams(request.name);
      return views ? { views: copyViews(views) } : { lines: loader.lines() };
    }
    case 'frame': return loader.frame(a[0], a[1], a[2], a[3]);
    case 'coverage': return loader.coverage(a[0], a[1], a[2]);
    case 'startView': return loader.startView(a[0], a[1]);
  }
  return null;
}

function copyViews(views) {
  const copy = {};
  for (const [key, value] of Object.entries(views)) copy[key] = ArrayBuffer.isView(value) ? value.slice() : value;
  return copy;
}

// The buffers of an answer's byte arrays, handed over rather than copied.
function buffersOf(value, found = []) {
  if (ArrayBuffer.isView(value)) found.push(value.buffer);
  else if (value && typeof value === 'object') for (const inner of Object.values(value)) buffersOf(inner, found);
  return found;
}

// The worker's side: its own module, and an answer to each request in the order they came.
function serveLoader() {
  const state = { model: null, number: 0 };
  const starting = createZemLoader().then((module) => new ModelLoader(module));
  self.onmessage = (e) => starting.then((loader) => {
    let answer;
    try {
      answer = answerRequest(loader, state, e.data);
    } catch (error) {
      return self.postMessage({ id: e.data.id, failed: String(error && error.message ? error.message : error) });
    }
    self.postMessage({ id: e.data.id, answer }, [...new Set(buffersOf(answer))]);
  }, (error) => self.postMessage({ id: e.data.id, failed: String(error && error.message ? error.message : error) }));
}

// The page's side: each request a promise of its answer. The model's streams are byte arrays of the
// page's own, those of the first view with the load's answer and the rest once asked for (ask()).
class LoaderClient {
  // A client of a worker that runs source (this script), or of a loader in the page where the
  // browser starts no worker or its module fails there.
  static async start(source) {
    if (typeof Worker === 'function' && source) {
      let worker = null;
      try {
        const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
        worker = new Worker(url);
        URL.revokeObjectURL(url);
        const client = new LoaderClient(worker, null);
        client.paletteValues = (await client.ask('palette')).palette;
        return client;
      } catch (e) {
        if (worker) worker.terminate();
      }
    }
    const client = new LoaderClient(null, new ModelLoader(await createZemLoader()));
    client.paletteValues = (await client.ask('palette')).palette;
    return client;
  }

  constructor(worker, loader) {
    this.worker = worker;
    this.loader = loader;
    this.state = { model: null, number: 0 };
    this.waiting = new Map();
    this.nextId = 1;
    this.loads = 0;
    this.lastLines = '';
    if (!worker) return;
    worker.onmessage = (e) => {
      const waiting = this.waiting.get(e.data.id);
      this.waiting.delete(e.data.id);
      if (e.data.failed !== undefined) waiting.reject(new Error(e.data.failed));
      else waiting.resolve(e.data.answer);
    };
    // A worker that fails to start (or dies) fails every request still waiting.
    worker.onerror = (e) => {
      e.preventDefault();
      for (const waiting of this.waiting.values()) waiting.reject(new Error(e.message || 'the worker stopped'));
      this.waiting.clear();
    };
  }

  ask(op, fields = {}, transfer = []) {
    const request = { op, ...fields };
    if (!this.worker) return new Promise((resolve) => resolve(answerRequest(this.loader, this.state, request)));
    request.id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(request.id, { resolve, reject });
      this.worker.postMessage(request, transfer);
    });
  }

  palette() {
    return this.paletteValues;
  }

  // The loader's lines of the last load or build that failed.
  lines() {
    return this.lastLines;
  }

  // As ModelLoader.load, answered later; the parts' bytes go to the worker. The model's
  // streams(name) are the named streams' views, undefined until they come (missing() asks for them)
  // and null where the loader had no memory for them.
  async load(parts) {
    const number = ++this.loads;
    const worker = this.worker;
    const answer = await this.ask('load', { number, parts }, worker ? [...new Set(parts.map((p) => p.buffer))] : []);
    this.lastLines = answer.lines;
    if (!answer.model) return { lines: answer.lines };
    const streams = answer.parts;
    const asked = new Set(Object.keys(streams));
    const model = { ...answer.model, streams: (name) => streams[name] };
    // The names of the streams not here yet; those not asked for yet are asked for, and arrived is
    // called when one comes.
    model.missing = (names, arrived) => names.filter((name) => {
      if (streams[name] !== undefined) return false;
      if (!asked.has(name)) {
        asked.add(name);
        this.ask('streams', { number, name }).then((a) => {
          if (a.stale) return;
          if (!a.views) this.lastLines = a.lines;
          streams[name] = a.views || null;
          arrived();
        });
      }
      return true;
    });
    return { model, lines: answer.lines };
  }

  frame(width, height, rotX, rotY) {
    return this.ask('frame', { args: [width, height, rotX, rotY] });
  }

  coverage(width, height, view) {
    return this.ask('coverage', { args: [width, height, { rotX: view.rotX, rotY: view.rotY, shift: view.shift, distance: view.distance }] });
  }

  startView(width, height) {
    return this.ask('startView', { args: [width, height] });
  }
}
