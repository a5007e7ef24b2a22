// What the page shows instead of a model: the loader's own lines, in the same words as the viewer
// prints on its console (the real zemview run on the same file is the oracle), for a text that is
// no model, a cut model, an index out of range, an empty file; a clear line for a missing file and
// for a model larger than the browser can hold. Never a blank canvas, never an error in the page.
'use strict';
const test = require('node:test');
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const { spawnSync } = require('child_process');
const { env, requireBrowser, scratchFolder } = require('./lib/env');
requireBrowser();
const { launchBrowser, openPage, settled } = require('./lib/browser');
const { startServer } = require('./lib/server');
const { dropFile } = require('./lib/input');
const { zemrenderPicture, pagePicture, kStart } = require('./lib/views');
const { comparePictures } = require('./lib/png');

const folder = scratchFolder();
let browser, server;

test.before(async () => {
  server = await startServer({ '/page/': env.webBuild(), '/scratch/': folder });
  browser = await launchBrowser('llvmpipe');
});
test.after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
});

// The viewer's console for a model it refuses: its error lines, less its own last line.
function consoleLines(file) {
  const run = spawnSync(env.program('zemview'), [file], { encoding: 'latin1' });
  assert.strictEqual(run.status, 0);
  const all = run.stderr.split('\n').filter((l) => l !== '');
  assert.strictEqual(all.pop(), 'error while loading model file, aborting');
  return all;
}

async function shown(page) {
  return page.evaluate(() => ({
    state: document.documentElement.dataset.state,
    heading: document.getElementById('heading').textContent,
    lines: document.getElementById('lines').hidden ? '' : document.getElementById('lines').textContent,
    covered: document.elementFromPoint(320, 240).id !== 'view',
  }));
}

async function dropped(name, bytes) {
  const file = path.join(folder, name);
  fs.writeFileSync(file, bytes);
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  await dropFile(page, file);
  await settled(page, 'message');
  return { page, file, seen: await shown(page) };
}

const torus = () => fs.readFileSync(path.join(env.source(), 'models', 'torus.zem'));

for (const [name, bytes] of [
  ['hello.txt', Buffer.from('hello world\n')],
  ['cut.zem', torus().subarray(0, 3000)],
  ['empty.zem', Buffer.alloc(0)],
  ['index.zem', Buffer.from('SHAPE bad_shape = { 0, 3, 1 };\nVECTOR v[] = { {0,0,0}, {1,0,0}, {0,1,0} };\nSPOLY p[] = { { 4, 3, { 0, 1, 40000 } } };\n')],
  ['zeros.zem', Buffer.concat([torus().subarray(0, 500), Buffer.alloc(64)])],
]) {
  test(`${name}: the loader's lines as on the viewer's console`, async () => {
    const { page, file, seen } = await dropped(name, bytes);
    const expected = consoleLines(file);
    assert.ok(expected.length > 0);
    assert.strictEqual(seen.heading, `${name} could not be loaded`);
    assert.deepStrictEqual(seen.lines.split('\n').filter((l) => l !== ''), expected);
    assert.ok(seen.covered, 'the message stands over the canvas');
    assert.strictEqual(page.lastError, undefined);
    await page.close();
  });
}

test('a model larger than the browser can hold: one clear message, and no reading of it', async () => {
  const file = path.join(folder, 'huge.zem');
  fs.closeSync(fs.openSync(file, 'w'));
  fs.truncateSync(file, 5 * 1024 ** 3);  // sparse: five gigabytes that take no room
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href + '?controls=none');
  await settled(page, 'start');
  await dropFile(page, file);
  await settled(page, 'message');
  const seen = await shown(page);
  assert.strictEqual(seen.heading, 'huge.zem is too large for this browser');
  assert.match(seen.lines, /5 GB of text; this page can hold at most 3 GB/);
  assert.strictEqual(page.lastError, undefined);
  // The page goes on: a model dropped next is shown.
  await dropFile(page, path.join(env.source(), 'models', 'tetra.zem'));
  await settled(page, 'model');
  const c = comparePictures(await pagePicture(page), zemrenderPicture(path.join(env.source(), 'models', 'tetra.zem'), kStart, 640, 480, folder));
  assert.strictEqual(c.differing, 0);
  await page.close();
});

test('a missing file: the server\'s answer, or the browser\'s refusal from disk', async () => {
  const page = await openPage(browser);
  await page.goto(`${server.origin}/page/zemview.html?model=/scratch/missing.zem`);
  await settled(page, 'message');
  let seen = await shown(page);
  assert.strictEqual(seen.heading, '/scratch/missing.zem could not be fetched');
  assert.strictEqual(seen.lines, 'The server answered 404 Not Found.');
  await page.goto(pathToFileURL(env.page()).href + '?model=missing.zem');
  await settled(page, 'message');
  seen = await shown(page);
  assert.strictEqual(seen.heading, 'missing.zem could not be fetched');
  assert.ok(seen.lines.length > 0 && seen.covered);
  assert.strictEqual(page.lastError, undefined);
  await page.close();
});

// WebGL reports its memory short for an upload only when asked, which the page does once the frame
// is drawn: here it refuses every upload of more than a kilobyte while the page's flag is set.
test('WebGL without the memory for a model: one clear message, and the next model drawn as it should be', async () => {
  const page = await openPage(browser);
  await page.evaluateOnNewDocument(() => {
    window.refuseUploads = true;
    const proto = WebGL2RenderingContext.prototype;
    const bufferData = proto.bufferData;
    const getError = proto.getError;
    let refused = false;
    proto.bufferData = function (target, data, ...rest) {
      if (window.refuseUploads && data && data.byteLength > 1024) refused = true;
      return bufferData.call(this, target, data, ...rest);
    };
    proto.getError = function () {
      if (!refused) return getError.call(this);
      refused = false;
      return this.OUT_OF_MEMORY;
    };
  });
  await page.goto(pathToFileURL(env.page()).href + '?controls=none');
  await settled(page, 'start');
  await dropFile(page, path.join(env.source(), 'models', 'torus.zem'));
  await settled(page, 'message');
  const seen = await shown(page);
  assert.strictEqual(seen.heading, 'torus.zem is too large for this browser');
  assert.strictEqual(seen.lines, 'WebGL has no memory for the drawing of this view.');
  assert.ok(seen.covered, 'the message stands over the canvas');
  await page.evaluate(() => { window.refuseUploads = false; });
  const tetra = path.join(env.source(), 'models', 'tetra.zem');
  await dropFile(page, tetra);
  await settled(page, 'model');
  const c = comparePictures(await pagePicture(page), zemrenderPicture(tetra, kStart, 640, 480, folder));
  assert.strictEqual(c.differing, 0);
  assert.strictEqual(page.lastError, undefined);
  await page.close();
});
