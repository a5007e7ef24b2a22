// Sizes in words, by the rule of the programs' lines (base/words.cpp): "2 GB", "1.5 GB", "512 MB",
// "1000 bytes".

// Units are powers of 1024; one decimal where the amount is below 100 and not whole, rounded half
// to even as the C library rounds, else the whole units cut. Integer arithmetic, exact for any size
// a browser hands over, so that no floating-point tie words a size otherwise than natively.
function memoryWords(bytes) {
  const units = [[2 ** 30, 'GB'], [2 ** 20, 'MB'], [2 ** 10, 'KB']];
  for (const [size, unit] of units) {
    if (bytes < size) continue;
    const whole = Math.floor(bytes / size);
    if (bytes % size === 0 || whole >= 100) return whole + ' ' + unit;
    const tenths = Math.floor(bytes * 10 / size);
    const twiceRest = 2 * (bytes * 10 - tenths * size);
    const rounded = twiceRest > size || (twiceRest === size && tenths % 2 === 1) ? tenths + 1 : tenths;
    return Math.floor(rounded / 10) + '.' + (rounded % 10) + ' ' + unit;
  }
  return bytes + ' bytes';
}
