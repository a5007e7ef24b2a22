// The page against zemrender, pixel for pixel, in Chromium rendering WebGL through Mesa's llvmpipe:
// every sample model and the terrain, walked with real input through the first view, a left drag,
// a right drag and each key; then the canvas on a HiDPI screen and in a window of another shape.
'use strict';
const test = require('node:test');
const assert = require('assert');
const path = require('path');
const { env, requireBrowser, scratchFolder, terrainModel } = require('./lib/env');
requireBrowser();
const { launchBrowser, openPage, settled, rendererName } = require('./lib/browser');
const { startServer } = require('./lib/server');
const { walkViews, printRows, zemrenderPicture, pagePicture, kStart } = require('./lib/views');
const { comparePictures } = require('./lib/png');

const folder = scratchFolder();
let browser, server;
const rows = [];

test.before(async () => {
  server = await startServer({ '/page/': env.webBuild(), '/models/': path.join(env.source(), 'models'), '/scratch/': folder });
  browser = await launchBrowser('llvmpipe');
});

test.after(async () => {
  printRows('Page against zemrender, llvmpipe', rows);
  if (browser) await browser.close();
  if (server) await server.close();
});

function modelUrl(model) {
  return model.startsWith(folder) ? `/scratch/${path.basename(model)}` : `/models/${path.basename(model)}`;
}

async function showModel(model, width = 640, height = 480, scale = 1) {
  const page = await openPage(browser, width, height, scale);
  await page.goto(`${server.origin}/page/zemview.html?controls=none&model=${modelUrl(model)}`);
  await settled(page, 'model');
  return page;
}

test('the browser draws through llvmpipe', async () => {
  const page = await openPage(browser);
  await page.goto(`${server.origin}/page/zemview.html`);
  assert.match(await rendererName(page), /llvmpipe/);
  await page.close();
});

for (const name of ['tetra', 'cube', 'dodecahedron', 'torus', 'segments', 'terrain']) {
  test(`${name}: every view equals zemrender's picture`, async () => {
    const model = name === 'terrain' ? terrainModel(folder) : path.join(env.source(), 'models', `${name}.zem`);
    const page = await showModel(model);
    const walked = await walkViews(page, model, folder, 640, 480);
    rows.push(...walked);
    await page.close();
    for (const r of walked) assert.strictEqual(r.differing, 0, `${r.model}, ${r.step}: ${r.differing} pixels differ (zemrender ${r.args})`);
  });
}

test('on a screen of two device pixels per CSS pixel the canvas is drawn at full resolution', async () => {
  const model = path.join(env.source(), 'models', 'torus.zem');
  const page = await showModel(model, 640, 480, 2);
  const got = await pagePicture(page);
  assert.deepStrictEqual([got.width, got.height], [1280, 960]);
  const c = comparePictures(got, zemrenderPicture(model, kStart, 1280, 960, folder));
  rows.push({ model: 'torus.zem', step: 'HiDPI 1280x960', ...c });
  assert.strictEqual(c.differing, 0);
  await page.close();
});

test('a wide window keeps the 45 degree vertical field', async () => {
  const model = path.join(env.source(), 'models', 'dodecahedron.zem');
  const page = await showModel(model, 900, 360);
  const c = comparePictures(await pagePicture(page), zemrenderPicture(model, kStart, 900, 360, folder));
  rows.push({ model: 'dodecahedron.zem', step: 'window 900x360', ...c });
  assert.strictEqual(c.differing, 0);
  await page.close();
});
