// The page's single-precision matrices against the renderer's own: for turns and distances a hand
// can make and far beyond, the projection and model-view matrices that Mesa computes for the
// viewer's calls (read back from a real context) must equal, bit for bit, those the page computes
// in JavaScript, its port of the C library's sine and cosine included.
'use strict';
const test = require('node:test');
const assert = require('assert');
const { execFileSync } = require('child_process');
const { env } = require('./lib/env');
const { loadPageScripts } = require('./lib/page_scripts');

const page = loadPageScripts(env.source(), ['sincosf.js', 'transform.js'],
  ['perspective', 'identityMatrix', 'translateZ', 'rotate']);

function bits(value) {
  const view = new DataView(new ArrayBuffer(4));
  view.setFloat32(0, value);
  return view.getUint32(0).toString(16).padStart(8, '0');
}

// Views as "rotX rotY distance width height"; the renderer's two matrices for each, as hex bits.
function rendererMatrices(views) {
  const input = views.map((v) => v.join(' ')).join('\n') + '\n';
  const lines = execFileSync(env.program('gl_matrices'), { input, encoding: 'utf8', maxBuffer: 1 << 28 }).trim().split('\n');
  assert.strictEqual(lines.length, 2 * views.length, 'the renderer answered every view');
  return views.map((v, i) => ({ projection: lines[2 * i], modelview: lines[2 * i + 1] }));
}

function pageMatrices([rotX, rotY, distance, width, height]) {
  const projection = page.perspective(width / (height === 0 ? 1 : height), 1, 3000);
  let modelview = page.translateZ(page.identityMatrix(), Math.fround(distance));
  modelview = page.rotate(modelview, rotX, 0);
  modelview = page.rotate(modelview, rotY, 1);
  return { projection: projection.map(bits).join(' '), modelview: modelview.map(bits).join(' ') };
}

function compareAll(views) {
  const expected = rendererMatrices(views);
  let differing = 0;
  views.forEach((view, i) => {
    const got = pageMatrices(view);
    if (got.projection !== expected[i].projection || got.modelview !== expected[i].modelview) {
      if (differing++ < 5) console.log('differs:', view.join(' '), '\n  renderer', expected[i].modelview, '\n  page    ', got.modelview);
    }
  });
  assert.strictEqual(differing, 0, `${differing} of ${views.length} views differ`);
}

test('every whole turn of a hand-made drag, at the start distance', () => {
  const views = [];
  for (let a = -1440; a <= 1440; a++) views.push([a, 0, -500, 640, 480], [0, a, -500, 640, 480]);
  compareAll(views);
});

test('angles far beyond a turn, where the sine needs the large reduction, and distances', () => {
  const views = [];
  let seed = 12345;
  const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648);
  for (let i = 0; i < 3000; i++) {
    const big = i % 3 === 0 ? 1 << 30 : i % 3 === 1 ? 100000 : 7000;
    views.push([next() % (2 * big) - big, next() % (2 * big) - big, -(next() % 3000) - 0.5 * (i % 2), 640, 480]);
  }
  compareAll(views);
});

test('the projection at other window shapes', () => {
  compareAll([[0, 0, -500, 1, 1], [0, 0, -500, 1920, 1080], [10, 20, -300, 333, 777], [0, 0, -500, 640, 0], [5, 5, -500, 3840, 2160]]);
});
