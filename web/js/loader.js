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
      name: this.cString(u32(0)),
      indexCount: u32(1),
      segmentEnds: u32(10),
      tableVertices: u32(12),
      edgeEnds: u32(14),
      hasFace: u32(16) !== 0,
      lastNormals: m.HEAPF32.slice((record >>> 2) + 17, (record >>> 2) + 23),
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
    const indexCount = u32(1);
    const triangles = (at) => ({
      vertices: bytes(u32(at + 1), u32(at) * 28),
      indices: bytes(u32(at + 2), indexCount * u32(at + 3)),
      indexBytes: u32(at + 3),
    });
    if (name === 'smooth') return triangles(2);
    if (name === 'flat') return triangles(6);
    if (name === 'segments') return { positions: bytes(u32(11), u32(10) * 16) };
    return { table: bytes(u32(13), u32(12) * 12), edges: bytes(u32(15), u32(14) * 2) };
  }
}
