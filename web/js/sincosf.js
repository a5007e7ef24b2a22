// Single-precision sine and cosine as the desktop renderer's C library computes them (Debian 12's
// libm on an x86-64 processor with fused multiply-add), bit for bit, and the exact fused
// multiply-add they need. The renderer builds its rotation matrices from these values, and the
// correctly rounded ones of Math.sin differ from them in the last bit for about one angle in forty.
// (A processor without fused multiply-add makes the library take a path of its own, not followed here.)

// Exact fused multiply-add of doubles, a * b + c rounded once, through BigInt arithmetic; only a
// few are needed per frame.
const fmaScratch = new DataView(new ArrayBuffer(8));

// x = mantissa * 2^exponent for a finite x, the mantissa a signed BigInt.
function splitDouble(x) {
  fmaScratch.setFloat64(0, x);
  const high = fmaScratch.getUint32(0);
  const low = fmaScratch.getUint32(4);
  const biased = (high >>> 20) & 0x7ff;
  let mantissa = (BigInt(high & 0xfffff) << 32n) | BigInt(low);
  let exponent = -1074;
  if (biased !== 0) {
    mantissa |= 1n << 52n;
    exponent = biased - 1075;
  }
  return [high >>> 31 ? -mantissa : mantissa, exponent];
}

// mantissa * 2^exponent rounded to the nearest double, ties to even.
function roundToDouble(mantissa, exponent) {
  if (mantissa === 0n) return 0;
  const negative = mantissa < 0n;
  let m = negative ? -mantissa : mantissa;
  let e = exponent;
  let shift = m.toString(2).length - 53;
  if (e + shift < -1074) shift = -1074 - e;
  if (shift > 0) {
    const dropped = m & ((1n << BigInt(shift)) - 1n);
    const half = 1n << BigInt(shift - 1);
    m >>= BigInt(shift);
    e += shift;
    if (dropped > half || (dropped === half && (m & 1n) === 1n)) m += 1n;
  }
  // Two steps, so that neither power of two leaves the range of doubles on its own.
  const value = Number(m) * Math.pow(2, Math.ceil(e / 2)) * Math.pow(2, Math.floor(e / 2));
  return negative ? -value : value;
}

function fma(a, b, c) {
  if (!Number.isFinite(a) || !Number.isFinite(b) || !Number.isFinite(c) || a === 0 || b === 0) return a * b + c;
  if (c === 0) return a * b;
  const [ma, ea] = splitDouble(a);
  const [mb, eb] = splitDouble(b);
  const [mc, ec] = splitDouble(c);
  let product = ma * mb;
  let e = ea + eb;
  let addend = mc;
  if (ec > e) addend <<= BigInt(ec - e);
  else {
    product <<= BigInt(e - ec);
    e = ec;
  }
  return roundToDouble(product + addend, e);
}

// The library's tables: quadrant signs, 2/pi scaled by 2^24, pi/2, and the two polynomials; the
// second set computes -cos to get the negation for free.
const sincosTables = [
  {
    sign: [1, -1, -1, 1], hpiInv: 10680707.430881744, hpi: 1.5707963267948966,
    c0: 1, c1: -0.49999999725108224, c2: 0.041666623324344516, c3: -0.001388676379437604,
    c4: 0.000024390450703564542, s1: -0.16666654943701084, s2: 0.008332178146138854,
    s3: -0.00019517298981385725,
  },
  {
    sign: [1, -1, -1, 1], hpiInv: 10680707.430881744, hpi: 1.5707963267948966,
    c0: -1, c1: 0.49999999725108224, c2: -0.041666623324344516, c3: 0.001388676379437604,
    c4: -0.000024390450703564542, s1: -0.16666654943701084, s2: 0.008332178146138854,
    s3: -0.00019517298981385725,
  },
];

// 4/pi to 192 bits, 8 new bits per entry.
const invPio4 = [
  0xa2, 0xa2f9, 0xa2f983, 0xa2f9836e, 0xf9836e4e, 0x836e4e44, 0x6e4e4415, 0x4e441529,
  0x441529fc, 0x1529fc27, 0x29fc2757, 0xfc2757d1, 0x2757d1f5, 0x57d1f534, 0xd1f534dd, 0xf534ddc0,
  0x34ddc0db, 0xddc0db62, 0xc0db6295, 0xdb629599, 0x6295993c, 0x95993c43, 0x993c4390, 0x3c439041,
];
const pi63 = 3.4061215800865545e-19;  // 2 pi / 2^64
const floatBits = new DataView(new ArrayBuffer(4));

function floatToBits(x) {
  floatBits.setFloat32(0, x);
  return floatBits.getUint32(0);
}

// The float's exponent bits and the top of its mantissa, sign cleared.
function absTop12(x) {
  return (floatToBits(x) >>> 20) & 0x7ff;
}
const top12Pio4 = absTop12(0.7853981852531433);  // pi/4 in single precision
const top12Tiny = absTop12(Math.pow(2, -12));
const top12Fast = absTop12(120);

// Even quadrants take the sine polynomial, odd ones the cosine's; each multiply whose only use is
// an addition is fused, as the compiler fused them in the library.
function sinfPoly(x, x2, p, n) {
  if ((n & 1) === 0) {
    const x3 = x * x2;
    const s1 = fma(x2, p.s3, p.s2);
    const x7 = x3 * x2;
    const s = fma(x3, p.s1, x);
    return Math.fround(fma(x7, s1, s));
  }
  const x4 = x2 * x2;
  const c2 = fma(x2, p.c4, p.c3);
  const c1 = fma(x2, p.c1, p.c0);
  const x6 = x4 * x2;
  const c = fma(x4, p.c2, c1);
  return Math.fround(fma(x6, c2, c));
}

// One multiply-subtract against pi/2; the quadrant from the scaled product, as the library
// truncates it.
function reduceFast(x) {
  const r = x * sincosTables[0].hpiInv;
  const n = (((r | 0) + 0x800000) | 0) >> 24;
  return [fma(-n, sincosTables[0].hpi, x), n];
}

// Beyond 120 radians: the exact 2.62 fixed-point product with 4/pi, in 64-bit integers.
function reduceLarge(bits) {
  const mask64 = (1n << 64n) - 1n;
  const table = (bits >>> 26) & 15;
  const shift = (bits >>> 23) & 7;
  const xi = BigInt((((bits & 0xffffff) | 0x800000) << shift) >>> 0);
  let res0 = (xi * BigInt(invPio4[table])) & 0xffffffffn;  // a 32-bit product in the library
  const res1 = xi * BigInt(invPio4[table + 4]);
  const res2 = xi * BigInt(invPio4[table + 8]);
  res0 = ((res2 >> 32n) | (res0 << 32n)) & mask64;
  res0 = (res0 + res1) & mask64;
  const n = ((res0 + (1n << 61n)) & mask64) >> 62n;
  res0 = (res0 - (n << 62n)) & mask64;
  return [Number(BigInt.asIntN(64, res0)) * pi63, Number(n)];
}

// sinf (cosine: odd true) of a single-precision y.
function sincosf(y, odd) {
  y = Math.fround(y);
  const top = absTop12(y);
  let p = sincosTables[0];
  if (top < top12Pio4) {
    if (top < top12Tiny) return odd ? 1 : y;
    return sinfPoly(y, y * y, p, odd ? 1 : 0);
  }
  let x;
  let n;
  let quadrant;
  if (top < top12Fast) {
    [x, n] = reduceFast(y);
    quadrant = n;
  } else if (Number.isFinite(y)) {
    [x, n] = reduceLarge(floatToBits(y));
    quadrant = n + (y < 0 ? 1 : 0);
  } else {
    return NaN;
  }
  const s = p.sign[quadrant & 3];
  if (quadrant & 2) p = sincosTables[1];
  return sinfPoly(x * s, x * x, p, odd ? n ^ 1 : n);
}

function sinf(y) {
  return sincosf(y, false);
}

function cosf(y) {
  return sincosf(y, true);
}
