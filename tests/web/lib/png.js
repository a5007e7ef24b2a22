// PNG decoding for the comparisons: 8-bit greyscale, RGB and RGBA, not interlaced, as zemrender and
// the browser write them. Pixels come out as RGBA rows, top row first.
'use strict';
const zlib = require('zlib');

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the per-row filters in place: rows of stride bytes, bpp bytes per pixel.
function unfilter(raw, height, stride, bpp) {
  const out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y++) {
    const type = raw[y * (stride + 1)];
    const row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const at = y * stride;
    for (let x = 0; x < stride; x++) {
      const left = x >= bpp ? out[at + x - bpp] : 0;
      const up = y > 0 ? out[at - stride + x] : 0;
      const upLeft = y > 0 && x >= bpp ? out[at - stride + x - bpp] : 0;
      let v = row[x];
      if (type === 1) v += left;
      else if (type === 2) v += up;
      else if (type === 3) v += (left + up) >> 1;
      else if (type === 4) v += paeth(left, up, upLeft);
      else if (type !== 0) throw new Error('PNG row filter ' + type + ' is not one of the five');
      out[at + x] = v & 0xff;
    }
  }
  return out;
}

function decodePng(bytes) {
  if (bytes.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG file');
  let at = 8, width = 0, height = 0, colourType = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0) throw new Error('only 8-bit PNG without interlacing is read here');
      colourType = body[9];
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 4: 2, 6: 4 }[colourType];
  if (!channels) throw new Error('PNG colour type ' + colourType + ' is not read here');
  const pixels = unfilter(zlib.inflateSync(Buffer.concat(data)), height, width * channels, channels);
  const rgba = Buffer.alloc(width * height * 4);
  for (let i = 0; i < width * height; i++) {
    const p = pixels.subarray(i * channels, (i + 1) * channels);
    const grey = channels < 3;
    rgba[4 * i] = p[0];
    rgba[4 * i + 1] = grey ? p[0] : p[1];
    rgba[4 * i + 2] = grey ? p[0] : p[2];
    rgba[4 * i + 3] = channels === 4 ? p[3] : channels === 2 ? p[1] : 255;
  }
  return { width, height, rgba };
}

// How two pictures of the same size differ in red, green and blue: the pixels that differ at all,
// those that differ by more than 2 levels in some channel, and the largest difference.
function comparePictures(a, b) {
  if (a.width !== b.width || a.height !== b.height)
    throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  let differing = 0, beyond2 = 0, largest = 0;
  for (let i = 0; i < a.width * a.height; i++) {
    let d = 0;
    for (let c = 0; c < 3; c++) d = Math.max(d, Math.abs(a.rgba[4 * i + c] - b.rgba[4 * i + c]));
    if (d > 0) differing++;
    if (d > 2) beyond2++;
    largest = Math.max(largest, d);
  }
  const total = a.width * a.height;
  return { differing, beyond2, largest, total, differingShare: differing / total, beyond2Share: beyond2 / total };
}

module.exports = { decodePng, comparePictures };
