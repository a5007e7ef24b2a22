// Opening models in the page's first moments and over the network, in Chromium with real input:
// a file dropped or chosen before the module has started, a browser without WebGL 2 or
// WebAssembly, a slow ?model= download (its progress, and a file the user opens meanwhile), the
// addresses ?model= refuses, the page's Content-Security-Policy, and the messages of failures.
'use strict';
const test = require('node:test');
const assert = require('assert');
const fs = require('fs');
const http = require('http');
const path = require('path');
const { pathToFileURL } = require('url');
const { env, requireBrowser, scratchFolder } = require('./lib/env');
requireBrowser();
const { launchBrowser, openPage, settled } = require('./lib/browser');
const { zemrenderPicture, pagePicture, kStart } = require('./lib/views');
const { comparePictures } = require('./lib/png');
const { dropFile } = require('./lib/input');

const folder = scratchFolder();
const model = (name) => path.join(env.source(), 'models', `${name}.zem`);
let browser, server;

// The page, and a model sent in two halves: the second only once the test lets it go. Whether the
// browser gave up on the model before its end is kept in server.abandoned.
function startSlowServer() {
  const torus = fs.readFileSync(model('torus'));
  const state = { abandoned: false, requests: 0, finish: null };
  const s = http.createServer((request, response) => {
    if (request.url.startsWith('/zemview.html')) {
      response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      response.end(fs.readFileSync(env.page()));
      return;
    }
    state.requests++;
    response.writeHead(200, { 'Content-Type': 'model/x-zem', 'Content-Length': torus.length });
    response.write(torus.subarray(0, torus.length >> 1));
    response.on('close', () => { if (!response.writableEnded) state.abandoned = true; });
    state.finish = () => response.end(torus.subarray(torus.length >> 1));
  });
  return new Promise((resolve) => s.listen(0, '127.0.0.1', () => resolve(Object.assign(state, {
    origin: `http://127.0.0.1:${s.address().port}`,
    close: () => new Promise((done) => { s.closeAllConnections(); s.close(done); }),
  }))));
}

test.before(async () => {
  server = await startSlowServer();
  browser = await launchBrowser('llvmpipe');
});
test.after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
});

async function assertPicture(page, file, view = kStart) {
  const c = comparePictures(await pagePicture(page), zemrenderPicture(file, view, 640, 480, folder));
  assert.strictEqual(c.differing, 0, `${c.differing} pixels differ from zemrender's picture of ${file}`);
}

const text = (page, id) => page.$eval('#' + id, (e) => (e.hidden ? '' : e.textContent));

test('a file dropped or chosen before the module has started is held and shown once it has', async () => {
  for (const how of ['drop', 'chooser']) {
    const page = await openPage(browser);
    // The module's start waits until the test lets it go, whether it starts in the page or in the
    // loader's worker (whose answers the page then hears only once let go).
    await page.evaluateOnNewDocument(() => {
      const instantiate = WebAssembly.instantiate;
      const gate = new Promise((resolve) => { window.startModule = resolve; });
      WebAssembly.instantiate = (...args) => gate.then(() => instantiate.apply(WebAssembly, args));
      window.Worker = class extends window.Worker {
        set onmessage(handler) { super.onmessage = (e) => gate.then(() => handler(e)); }
      };
    });
    await page.goto(pathToFileURL(env.page()).href + '?controls=none');
    await page.waitForSelector('#open-start');
    if (how === 'drop') {
      await dropFile(page, model('cube'));
    } else {
      const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#open-start')]);
      await chooser.accept([model('cube')]);
    }
    await page.waitForFunction(() => document.documentElement.dataset.state === 'loading');
    assert.ok(page.url().endsWith('zemview.html?controls=none'), `${how}: the tab stays on the page (${page.url()})`);
    await page.evaluate(() => window.startModule());
    await settled(page, 'model');
    assert.strictEqual(await page.title(), 'zemview - cube');
    await assertPicture(page, model('cube'));
    await page.close();
  }
});

// The parsing, normals and streams of a model run in a worker, off the page's thread; from disk too,
// where the page's policy must let a worker of its own start and compile the module.
test('a model opened from disk is loaded in a worker of the page, under its policy, and drawn exactly', async () => {
  const page = await openPage(browser);
  const refused = [];
  page.on('console', (m) => { if (/Content Security Policy/i.test(m.text())) refused.push(m.text()); });
  await page.goto(pathToFileURL(env.page()).href + '?controls=none');
  await settled(page, 'start');
  await dropFile(page, model('torus'));
  await settled(page, 'model');
  assert.deepStrictEqual(refused, []);
  assert.strictEqual(page.workers().length, 1, 'the loader runs in a worker');
  // The smooth shading came with the load; the flat one and the outlines come from the worker when
  // first drawn, and the picture waits for them.
  await assertPicture(page, model('torus'));
  for (const [key, view] of [['s', { ...kStart, smooth: false }], ['w', { ...kStart, smooth: false, outline: true }]]) {
    await page.evaluate(() => { document.documentElement.dataset.drawn = ''; });
    await page.keyboard.press(key);
    await page.waitForFunction(() => document.documentElement.dataset.drawn === 'full');
    await assertPicture(page, model('torus'), view);
  }
  await page.close();
});

test('without WebGL 2 or WebAssembly: one clear line, and a dropped file does not open in the tab', async () => {
  const lacks = {
    'WebGL 2': () => {
      const getContext = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function (kind, ...rest) { return kind === 'webgl2' ? null : getContext.call(this, kind, ...rest); };
    },
    WebAssembly: () => { delete window.WebAssembly; },
  };
  for (const [what, remove] of Object.entries(lacks)) {
    const page = await openPage(browser);
    await page.evaluateOnNewDocument(remove);
    const address = pathToFileURL(env.page()).href;
    await page.goto(address);
    await settled(page, 'message');
    assert.strictEqual(await text(page, 'heading'), 'This browser cannot show models');
    assert.match(await text(page, 'lines'), what === 'WebGL 2' ? /no WebGL 2/ : /WebAssembly did not start/);
    await dropFile(page, model('cube'));
    await new Promise((resolve) => setTimeout(resolve, 500));
    assert.strictEqual(page.url(), address, `${what}: the tab stays on the page`);
    await page.close();
  }
});

test('a slow ?model= shows its progress, and gives way to a file the user drops meanwhile', async () => {
  const page = await openPage(browser);
  await page.goto(`${server.origin}/zemview.html?controls=none&model=/slow.zem`);
  const size = fs.statSync(model('torus')).size;
  await page.waitForFunction((half) => document.getElementById('bar').value === half, {}, size >> 1);
  assert.strictEqual(await text(page, 'heading'), 'Loading /slow.zem');
  assert.strictEqual(await text(page, 'received'), '16.6 KB of 33.2 KB');
  assert.strictEqual(await page.$eval('#bar', (e) => e.value / e.max), (size >> 1) / size);
  await dropFile(page, model('tetra'));
  await settled(page, 'model');
  for (let i = 0; i < 50 && !server.abandoned; i++) await new Promise((resolve) => setTimeout(resolve, 20));
  assert.ok(server.abandoned, 'the download was cancelled');
  server.finish();
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.strictEqual(await page.title(), 'zemview - tetra');
  await assertPicture(page, model('tetra'));
  await page.close();
});

test('?model= asks for http and https addresses only; the page\'s policy refuses what it does not need', async () => {
  const page = await openPage(browser);
  const requests = server.requests;
  const data = 'data:text/plain,' + encodeURIComponent(fs.readFileSync(model('tetra'), 'latin1'));
  await page.goto(`${server.origin}/zemview.html?model=${encodeURIComponent(data)}`);
  await settled(page, 'message');
  assert.match(await text(page, 'heading'), /could not be fetched$/);
  assert.strictEqual(await text(page, 'lines'), 'This page opens models from http and https addresses only.');
  assert.strictEqual(await page.title(), 'zemview');
  // The policy: the page's own script ran, but its fetch of a data: address is refused.
  const refused = await page.evaluate(() => fetch('data:text/plain,x').then(() => 'fetched', () => 'refused'));
  assert.strictEqual(refused, 'refused');
  assert.strictEqual(server.requests, requests, 'no model was asked for');
  await page.close();
});

test('messages in the page\'s words: ?model= from disk points to the button and drop, another site\'s refusal; an error resets the title', async () => {
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href + '?model=' + encodeURIComponent(pathToFileURL(model('cube')).href));
  await settled(page, 'message');
  assert.match(await text(page, 'lines'), /opened from a file.*button.*drop/);
  // Another site that does not let this page read its files.
  const elsewhere = server.origin.replace('127.0.0.1', 'localhost') + '/other-site.zem';
  await page.goto(`${server.origin}/zemview.html?model=${encodeURIComponent(elsewhere)}`);
  await settled(page, 'message');
  assert.match(await text(page, 'lines'), /does not let pages of other sites read its files/);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  await dropFile(page, model('cube'));
  await settled(page, 'model');
  const notes = path.join(folder, 'notes.txt');
  fs.writeFileSync(notes, 'not a model\n');
  await dropFile(page, notes);
  await settled(page, 'message');
  assert.strictEqual(await page.title(), 'zemview');
  await page.close();
});

test('files dragged over the page are welcomed; several dropped at once: the first is shown, and a line says so', async () => {
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  const cdp = await page.target().createCDPSession();
  const data = { items: [], files: [model('tetra'), model('cube')], dragOperationsMask: 1 };
  const dropping = () => page.evaluate(() => document.documentElement.classList.contains('dropping'));
  for (const type of ['dragEnter', 'dragOver']) await cdp.send('Input.dispatchDragEvent', { type, x: 320, y: 240, data });
  assert.strictEqual(await dropping(), true, 'files dragged over the page are welcomed');
  await cdp.send('Input.dispatchDragEvent', { type: 'drop', x: 320, y: 240, data });
  await settled(page, 'model');
  assert.strictEqual(await dropping(), false);
  assert.strictEqual(await page.title(), 'zemview - tetra');
  assert.match(await text(page, 'note'), /2 files were dropped; this page shows one at a time: tetra\.zem/);
  await page.close();
});
