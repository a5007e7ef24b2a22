// The page against zemrender in Chromium's own software renderer (SwiftShader), whose
// rasterisation rules differ from Mesa's as a real GPU's do: in every view of every sample model
// and the terrain, at most 2% of the pixels may differ, and at most 0.5% by more than 2 levels.
'use strict';
const test = require('node:test');
const assert = require('assert');
const path = require('path');
const { env, requireBrowser, scratchFolder, terrainModel } = require('./lib/env');
requireBrowser();
const { launchBrowser, openPage, settled, rendererName } = require('./lib/browser');
const { startServer } = require('./lib/server');
const { walkViews, printRows } = require('./lib/views');

const folder = scratchFolder();
let browser, server;
const rows = [];

test.before(async () => {
  server = await startServer({ '/page/': env.webBuild(), '/models/': path.join(env.source(), 'models'), '/scratch/': folder });
  browser = await launchBrowser('swiftshader');
});

test.after(async () => {
  printRows('Page against zemrender, SwiftShader', rows);
  if (browser) await browser.close();
  if (server) await server.close();
});

for (const name of ['tetra', 'cube', 'dodecahedron', 'torus', 'segments', 'terrain']) {
  test(`${name}: every view is within the tolerance`, async () => {
    const model = name === 'terrain' ? terrainModel(folder) : path.join(env.source(), 'models', `${name}.zem`);
    const url = name === 'terrain' ? '/scratch/terrain.zem' : `/models/${name}.zem`;
    const page = await openPage(browser);
    await page.goto(`${server.origin}/page/zemview.html?controls=none&model=${url}`);
    await settled(page, 'model');
    assert.match(await rendererName(page), /SwiftShader/);
    const walked = await walkViews(page, model, folder, 640, 480);
    rows.push(...walked);
    await page.close();
    for (const r of walked) {
      assert.ok(r.differingShare <= 0.02, `${r.model}, ${r.step}: ${(100 * r.differingShare).toFixed(2)}% of pixels differ`);
      assert.ok(r.beyond2Share <= 0.005, `${r.model}, ${r.step}: ${(100 * r.beyond2Share).toFixed(2)}% differ by more than 2 levels`);
    }
  });
}
