// The page's side of the WebAssembly loader: a model's bytes in, the loader's lines and the
// drawing streams (views into the module's memory) out.

// The largest text the module's 32-bit memory can take, with room left for the tables.
const kLargestText = 3 * 1024 * 1024 * 1024;

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

  // { model } after a load, or { lines } with the loader's own lines when it failed. The model's
  // views stay valid until the next load.
  load(bytes) {
    const m = this.module;
    const text = m._zemTextBuffer(bytes.length) >>> 0;
    if (text === 0) return { lines: this.lines() };
    m.HEAPU8.set(bytes, text);
    const record = m._zemLoad() >>> 0;
    if (record === 0) return { lines: this.lines() };
    return { model: this.readModel(record), lines: this.lines() };
  }

  // A zero-ended string of the module's memory; bytes that are no UTF-8 show as U+FFFD.
  cString(pointer) {
    const heap = this.module.HEAPU8;
    let end = pointer;
    while (heap[end] !== 0) end++;
    return new TextDecoder().decode(heap.subarray(pointer, end));
  }

  // The WebModel record, field by field (web/binding.h).
  readModel(record) {
    const m = this.module;
    const u32 = (i) => m.HEAPU32[(record >>> 2) + i] >>> 0;
    const bytes = (pointer, length) => m.HEAPU8.subarray(pointer, pointer + length);
    const triangles = (at) => ({
      vertexCount: u32(at),
      vertices: bytes(u32(at + 1), u32(at) * 28),
    });
    const model = {
      name: this.cString(u32(0)),
      indexCount: u32(1),
      smooth: triangles(2),
      flat: triangles(5),
      segmentEnds: u32(8),
      tableVertices: u32(10),
      edgeEnds: u32(12),
      hasFace: u32(14) !== 0,
    };
    model.smooth.indices = bytes(u32(4), model.indexCount * 4);
    model.flat.indices = bytes(u32(7), model.indexCount * 4);
    model.segmentPositions = bytes(u32(9), model.segmentEnds * 16);
    model.tablePositions = bytes(u32(11), model.tableVertices * 12);
    model.edges = bytes(u32(13), model.edgeEnds * 2);
    model.lastNormals = m.HEAPF32.slice((record >>> 2) + 15, (record >>> 2) + 21);
    return model;
  }
}
