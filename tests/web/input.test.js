// The page as a person uses it, in Chromium with real input: opened straight from disk, a model
// dropped on it or picked with its button, turned and moved with the mouse, keys and touch, the
// window resized. Each picture is checked against zemrender's of the view the input should give.
'use strict';
const test = require('node:test');
const assert = require('assert');
const path = require('path');
const { pathToFileURL } = require('url');
const { env, requireBrowser, scratchFolder } = require('./lib/env');
requireBrowser();
const { launchBrowser, openPage, settled } = require('./lib/browser');
const { zemrenderPicture, pagePicture, drag, nextFrame, kStart } = require('./lib/views');
const { comparePictures } = require('./lib/png');
const { dropFile, touchGesture } = require('./lib/input');

const folder = scratchFolder();
const model = (name) => path.join(env.source(), 'models', `${name}.zem`);
let browser;

test.before(async () => { browser = await launchBrowser('llvmpipe'); });
test.after(async () => { if (browser) await browser.close(); });

async function assertPicture(page, modelFile, view, width = 640, height = 480) {
  await nextFrame(page);
  const c = comparePictures(await pagePicture(page), zemrenderPicture(modelFile, view, width, height, folder));
  assert.strictEqual(c.differing, 0, `${c.differing} pixels differ from zemrender's picture of ${JSON.stringify(view)}`);
}

// What covers the page at a few points: the canvas alone once a model is shown.
async function topElements(page) {
  return page.evaluate(() => [[1, 1], [320, 240], [638, 478], [20, 460], [600, 30]]
    .map(([x, y]) => document.elementFromPoint(x, y).id || document.elementFromPoint(x, y).tagName));
}

// The page from disk; with the picture alone (?controls=none) unless asked, where pictures are compared.
async function openFromDisk(controls = 'none', width = 640, height = 480, scale = 1, touch = false) {
  const page = await openPage(browser, width, height, scale, touch);
  await page.goto(pathToFileURL(env.page()).href + (controls ? `?controls=${controls}` : ''));
  await settled(page, 'start');
  return page;
}

test('opened from disk, it asks for a model; a dropped model is shown with nothing over it', async () => {
  const page = await openFromDisk();
  assert.strictEqual(await page.title(), 'zemview');
  assert.match(await page.$eval('#panel', (e) => e.innerText), /Open a model/);
  await dropFile(page, model('torus'));
  await settled(page, 'model');
  assert.strictEqual(await page.title(), 'zemview - torus');
  assert.deepStrictEqual(await topElements(page), ['view', 'view', 'view', 'view', 'view']);
  await assertPicture(page, model('torus'), kStart);
  assert.strictEqual(page.lastError, undefined);
  await page.close();
});

test('the button picks a model through the file chooser', async () => {
  const page = await openFromDisk();
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#open-start')]);
  await chooser.accept([model('dodecahedron')]);
  await settled(page, 'model');
  assert.strictEqual(await page.title(), 'zemview - dodecahedron');
  await assertPicture(page, model('dodecahedron'), kStart);
  await page.close();
});

test('mouse and keys as in the window; another model dropped on it starts from the first view', async () => {
  const page = await openFromDisk();
  await dropFile(page, model('cube'));
  await settled(page, 'model');
  await drag(page, 'left', [100, 100], [60, 150]);    // 40 degrees back about Y, 50 about X
  await drag(page, 'left', [400, 300], [410, 290]);   // and 10 more about Y, 10 back about X
  await drag(page, 'right', [500, 100], [500, 180]);  // 80 units nearer
  await page.keyboard.down('Control');
  await page.keyboard.press('w');                     // a browser shortcut, not the outline key
  await page.keyboard.up('Control');
  await page.keyboard.press('l');
  const view = { ...kStart, rotY: -30, rotX: 40, distance: -420, lit: false };
  await assertPicture(page, model('cube'), view);
  await dropFile(page, model('segments'), 500, 400);
  // The cube stays on show, its state 'model', until the dropped file has been read and loaded.
  await page.waitForFunction(() => document.title === 'zemview - segments', { timeout: 30000 });
  await settled(page, 'model');
  assert.strictEqual(await page.title(), 'zemview - segments');
  await assertPicture(page, model('segments'), kStart);
  await page.close();
});

test('one finger turns, a pinch of two fingers moves nearer', async () => {
  const page = await openFromDisk('none', 640, 480, 1, true);
  await dropFile(page, model('torus'));
  await settled(page, 'model');
  await touchGesture(page, [[300, 300, 345, 270]]);                        // 45 about Y, -30 about X
  await touchGesture(page, [[250, 240, 230, 240], [350, 240, 370, 240]]);  // 100 apart to 140: 40 nearer
  await assertPicture(page, model('torus'), { ...kStart, rotY: 45, rotX: -30, distance: -460 });
  await page.close();
});

test('the canvas follows the window, keeping the 45 degree vertical field', async () => {
  const page = await openFromDisk();
  await dropFile(page, model('tetra'));
  await settled(page, 'model');
  await page.setViewport({ width: 800, height: 300 });
  await nextFrame(page);
  await assertPicture(page, model('tetra'), kStart, 800, 300);
  await page.close();
});
