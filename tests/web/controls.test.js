// The view a model opens with and the ways to change it without a key table, in Chromium with real
// input: the framing of models the first view would not show (against zemrender --fit), a portrait
// window, the zoom's limits, the wheel, the keys, the controls over the picture as the
// accessibility tree reads them, their fading, and Tab reaching them.
'use strict';
const test = require('node:test');
const assert = require('assert');
const fs = require('fs');
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

// A sample model with every vertex moved by f, written to the scratch folder.
function movedModel(name, out, f) {
  const text = fs.readFileSync(model(name), 'latin1');
  const start = text.indexOf('VECTOR');
  const end = text.indexOf('};', start);
  const vectors = text.slice(start, end).replace(/\{ (-?\d+), (-?\d+), (-?\d+) \}/g,
    (all, x, y, z) => `{ ${f([Number(x), Number(y), Number(z)]).map(Math.round).join(', ')} }`);
  const file = path.join(folder, out);
  fs.writeFileSync(file, text.slice(0, start) + vectors + text.slice(end), 'latin1');
  return file;
}

async function shownFromDisk(file, { controls = 'none', width = 640, height = 480, touch = false } = {}) {
  const page = await openPage(browser, width, height, 1, touch);
  await page.goto(pathToFileURL(env.page()).href + (controls ? `?controls=${controls}` : ''));
  await settled(page, 'start');
  await dropFile(page, file, 100, 100);
  await settled(page, 'model');
  return page;
}

async function assertPicture(page, file, view, width = 640, height = 480) {
  await nextFrame(page);
  const c = comparePictures(await pagePicture(page), zemrenderPicture(file, view, width, height, folder));
  assert.strictEqual(c.differing, 0, `${c.differing} pixels differ from zemrender's picture of ${JSON.stringify(view)}`);
}

// The columns and rows of the picture that are not the background, as [left, top, right, bottom].
function drawnBox(picture) {
  let box = [Infinity, Infinity, -1, -1];
  for (let y = 0; y < picture.height; y++)
    for (let x = 0; x < picture.width; x++) {
      const at = 4 * (y * picture.width + x);
      if (picture.rgba[at] || picture.rgba[at + 1] || picture.rgba[at + 2])
        box = [Math.min(box[0], x), Math.min(box[1], y), Math.max(box[2], x), Math.max(box[3], y)];
    }
  return box;
}

test('a model the first view would cut or shrink to a speck opens framed as zemrender --fit frames it', async () => {
  const far = movedModel('torus', 'far.zem', ([x, y, z]) => [x + 30000, y - 29000, z]);
  const tiny = movedModel('dodecahedron', 'tiny.zem', (p) => p.map((c) => c / 50));
  for (const file of [far, tiny]) {
    const page = await shownFromDisk(file);
    await assertPicture(page, file, { ...kStart, fit: true });
    // Turned, then framed again with f; reset goes back to the view it opened with.
    await drag(page, 'left', [300, 200], [330, 190]);
    await page.keyboard.press('f');
    await assertPicture(page, file, { ...kStart, rotY: 30, rotX: -10, fit: true });
    await page.keyboard.press('r');
    await assertPicture(page, file, { ...kStart, fit: true });
    await page.close();
  }
  // With the controls, one line says why.
  const page = await shownFromDisk(far, { controls: null });
  assert.match(await page.$eval('#note', (e) => (e.hidden ? '' : e.textContent)), /Framed to show the whole model: the first view would cut it/);
  await page.close();
});

test('an empty model says it has nothing to draw', async () => {
  const file = path.join(folder, 'empty-shape.zem');
  fs.writeFileSync(file, 'SHAPE nothing_shape = { 0, 3, 0 };\nVECTOR v[] = { { 0, 0, 0 }, { 1, 0, 0 }, { 0, 1, 0 } };\nSPOLY p[] = { };\n');
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  await dropFile(page, model('tetra'));
  await settled(page, 'model');
  await dropFile(page, file);
  await settled(page, 'message');
  assert.strictEqual(await page.$eval('#heading', (e) => e.textContent), 'empty-shape.zem has nothing to draw');
  assert.strictEqual(await page.title(), 'zemview');
  await page.close();
});

test('a portrait window sees all that the first window sees', async () => {
  const page = await shownFromDisk(model('torus'), { width: 320, height: 480 });
  const box = drawnBox(await pagePicture(page));
  // The torus spans most of the first window's width: here it is whole, with a margin on both sides.
  assert.ok(box[0] > 0 && box[2] < 319, `the torus spans columns ${box[0]} to ${box[2]} of 320`);
  assert.ok(box[2] - box[0] > 160, `the torus is ${box[2] - box[0]} pixels wide`);
  await page.close();
});

test('zoom stops before the near plane and before the model is a speck; the wheel zooms as the right drag', async () => {
  const cube = model('cube');  // centred on the origin, every vertex sqrt(3) * 100 from it
  const radius = Math.sqrt(30000);
  const page = await shownFromDisk(cube);
  await page.mouse.move(320, 240);
  await page.mouse.wheel({ deltaY: -100 });
  await page.mouse.wheel({ deltaY: -100 });
  await assertPicture(page, cube, { ...kStart, distance: -460 });
  for (let i = 0; i < 4; i++) await drag(page, 'right', [320, 10], [320, 470]);
  await assertPicture(page, cube, { ...kStart, distance: -(radius + 1) });
  for (let i = 0; i < 40; i++) await page.mouse.wheel({ deltaY: 400 });
  await assertPicture(page, cube, { ...kStart, distance: -(3000 - radius) });
  // + and - step as one notch of the wheel.
  await page.keyboard.press('+');
  await page.keyboard.press('+');
  await page.keyboard.press('-');
  await assertPicture(page, cube, { ...kStart, distance: -(3000 - radius) + 20 });
  await page.close();
});

test('keys turn, zoom, reset and fit; the four setting keys as in the window', async () => {
  const page = await shownFromDisk(model('dodecahedron'));
  for (const key of ['ArrowRight', 'ArrowRight', 'ArrowDown', 'ArrowLeft', 'ArrowDown', 'ArrowDown', 'ArrowUp', '+', 'b', 's'])
    await page.keyboard.press(key);
  await assertPicture(page, model('dodecahedron'), { ...kStart, rotY: 5, rotX: 10, distance: -480, black: false, smooth: false });
  for (const key of ['Home', 'r', '0']) {
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press(key);
    await assertPicture(page, model('dodecahedron'), { ...kStart, black: false, smooth: false });
  }
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('f');
  await assertPicture(page, model('dodecahedron'), { ...kStart, rotX: -5, black: false, smooth: false, fit: true });
  await page.close();
});

// The page's accessibility tree, as a screen reader reads it, through the DevTools protocol.
async function accessibleControls(page) {
  const cdp = await page.target().createCDPSession();
  const { nodes } = await cdp.send('Accessibility.getFullAXTree');
  await cdp.detach();
  const property = (node, name) => ((node.properties || []).find((p) => p.name === name) || {}).value;
  return nodes.filter((n) => !n.ignored && n.role && ['button', 'image', 'toolbar'].includes(n.role.value))
    .map((n) => ({ role: n.role.value, name: n.name ? n.name.value : '', pressed: (property(n, 'pressed') || {}).value }));
}

test('the controls: named for a screen reader, with their state; they work, fade, and come back', async () => {
  const page = await shownFromDisk(model('torus'), { controls: null });
  const seen = await accessibleControls(page);
  const find = (name) => seen.find((n) => n.name === name);
  assert.deepStrictEqual(find('The model torus'), { role: 'image', name: 'The model torus', pressed: undefined });
  for (const [name, pressed] of [['Black background', 'true'], ['Lighting', 'true'], ['Smooth shading', 'true'], ['Outlines', 'false']])
    assert.strictEqual(find(name) && find(name).pressed, pressed, `${name}: ${JSON.stringify(find(name))}`);
  for (const name of ['Open…', 'Reset view', 'Fit', 'Help']) assert.ok(find(name), `a button named ${name}`);
  assert.ok(!seen.some((n) => n.role === 'button' && !n.name), 'every button has a name');

  await page.click('#c-outlines');
  await page.click('#c-lighting');
  const after = await accessibleControls(page);
  assert.strictEqual(after.find((n) => n.name === 'Outlines').pressed, 'true');
  assert.strictEqual(after.find((n) => n.name === 'Lighting').pressed, 'false');
  // Left alone, the controls fade and the picture is the viewer's; a movement brings them back.
  await page.mouse.move(320, 200);
  await nextFrame(page);  // the move reaches the page with the next frame
  await page.waitForFunction(() => getComputedStyle(document.getElementById('controls')).opacity === '0', { timeout: 10000 });
  await assertPicture(page, model('torus'), { ...kStart, outline: true, lit: false });
  await page.mouse.move(330, 210);
  await page.waitForFunction(() => getComputedStyle(document.getElementById('controls')).opacity === '1', { timeout: 5000 });
  await page.close();
});

test('Tab reaches the controls with a visible focus ring; the help speaks of fingers on a touch screen', async () => {
  const page = await openPage(browser);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  await page.keyboard.press('Tab');
  const first = await page.evaluate(() => ({ id: document.activeElement.id, ring: getComputedStyle(document.activeElement).outlineStyle }));
  assert.deepStrictEqual(first, { id: 'open-start', ring: 'solid' });
  await dropFile(page, model('cube'));
  await settled(page, 'model');
  await page.keyboard.press('Tab');
  assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'c-open');
  await page.keyboard.press('Tab');
  await page.keyboard.press('Enter');  // reset view: nothing to undo, the view stays
  await page.keyboard.press('Tab');
  await page.keyboard.press('Tab');
  await page.keyboard.press('Space');  // black background off
  assert.strictEqual(await page.$eval('#c-background', (e) => e.getAttribute('aria-pressed')), 'false');
  assert.match(await page.$eval('#help', (e) => e.textContent), /right drag/);
  await page.close();

  const phone = await openPage(browser, 320, 480, 2, true);
  await phone.goto(pathToFileURL(env.page()).href);
  await settled(phone, 'start');
  const text = await phone.$eval('#panel', (e) => e.innerText);
  assert.match(text, /one finger/);
  assert.doesNotMatch(text, /drag|drop|key/i);
  // The start panel fits the phone's window.
  assert.ok(await phone.$eval('#panel', (e) => e.scrollHeight <= e.clientHeight + 1), 'the start panel fits 320x480');
  // A long message starts at its heading and scrolls down to the button.
  const notes = path.join(folder, 'notes.txt');
  fs.writeFileSync(notes, 'These are notes, not a model.\n'.repeat(40));
  await dropFile(phone, notes, 100, 100);
  await settled(phone, 'message');
  assert.ok(await phone.$eval('#heading', (e) => e.getBoundingClientRect().top >= 0), 'the heading is in the window');
  const bottom = await phone.$eval('#panel', (e) => { e.scrollTop = e.scrollHeight; return document.getElementById('open-start').getBoundingClientRect().bottom; });
  assert.ok(bottom <= 480, `the button scrolls into the window (its bottom at ${bottom})`);
  await phone.close();
});

test('two fingers moved together move the model across; a double tap resets it', async () => {
  const page = await shownFromDisk(model('cube'), { touch: true });
  const before = drawnBox(await pagePicture(page));
  await touchGesture(page, [[250, 240, 310, 200], [350, 240, 410, 200]]);
  await nextFrame(page);
  const after = drawnBox(await pagePicture(page));
  // The cube's centre, 500 units away, follows the fingers (60 right, 40 up); its nearest face, which
  // bounds the picture, is 400 units away and moves 500 / 400 times as far.
  const moved = [after[2] - before[2], after[1] - before[1]];
  assert.ok(Math.abs(moved[0] - 75) <= 2 && Math.abs(moved[1] + 50) <= 2, `moved by ${moved}`);
  await touchGesture(page, [[300, 300, 300, 300]], 1);
  await touchGesture(page, [[300, 300, 300, 300]], 1);
  await assertPicture(page, model('cube'), kStart);
  await page.close();
});

test('smooth edges: off by default, a choice the browser remembers, and off again gives the viewer\'s picture', async () => {
  // A context of its own, so that the choice kept in its storage reaches no other test's page.
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 640, height: 480 });
  const address = pathToFileURL(env.page()).href;
  const differing = async () => {
    await page.mouse.move(10, 10);
    // The browser hands a mouse move to the page with the next frame: until then the controls may
    // still be faded from before, and only come back after the picture is taken.
    await nextFrame(page);
    await page.waitForFunction(() => getComputedStyle(document.getElementById('controls')).opacity === '0', { timeout: 10000 });
    return comparePictures(await pagePicture(page), zemrenderPicture(model('torus'), kStart, 640, 480, folder));
  };
  const open = async () => {
    await page.goto(address);
    await settled(page, 'start');
    await dropFile(page, model('torus'), 100, 100);
    await settled(page, 'model');
    return page.$eval('#c-antialias', (e) => e.getAttribute('aria-pressed'));
  };
  assert.strictEqual(await open(), 'false');
  await page.click('#c-antialias');
  const smooth = await differing();
  // Only edges change, by blending with what lies behind them.
  assert.ok(smooth.differing > 500 && smooth.differingShare < 0.1, `${smooth.differing} pixels differ with smooth edges`);
  assert.strictEqual(await open(), 'true');
  assert.strictEqual((await differing()).differing, smooth.differing);
  await page.click('#c-antialias');
  assert.strictEqual((await differing()).differing, 0);
  await context.close();
});

test('a model whose faces cover the window many times over: smaller while it moves, in full and exact at rest', async () => {
  const { execFileSync } = require('child_process');
  const file = path.join(folder, 'soup.zem');
  fs.writeFileSync(file, execFileSync(env.program('zemgen'), ['random', '32767', '6000'], { maxBuffer: 1 << 28 }));
  const page = await shownFromDisk(file);
  const drawn = (how) => page.waitForFunction((h) => document.documentElement.dataset.drawn === h, { timeout: 60000 }, how);
  await drawn('full');
  // Drawn in parts of its faces, the frame is still zemrender's picture.
  await assertPicture(page, file, { ...kStart, fit: true });
  await page.mouse.move(300, 200);
  await page.mouse.down();
  await page.mouse.move(320, 200, { steps: 4 });
  await drawn('scaled');
  await page.mouse.up();
  // Each change is first drawn smaller, for a quarter of a second at least, then in full.
  await page.keyboard.press('f');
  await drawn('scaled');
  await drawn('full');
  await assertPicture(page, file, { ...kStart, rotY: 20, fit: true });
  await page.close();
});

test('a light colour scheme changes the page\'s chrome, not the viewer\'s picture', async () => {
  const page = await openPage(browser);
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'light' }]);
  await page.goto(pathToFileURL(env.page()).href);
  await settled(page, 'start');
  assert.strictEqual(await page.$eval('#panel', (e) => getComputedStyle(e).backgroundColor), 'rgb(244, 244, 244)');
  await dropFile(page, model('tetra'));
  await settled(page, 'model');
  await page.mouse.move(10, 10);
  await nextFrame(page);  // the move reaches the page with the next frame
  await page.waitForFunction(() => getComputedStyle(document.getElementById('controls')).opacity === '0', { timeout: 10000 });
  await assertPicture(page, model('tetra'), kStart);
  await page.close();
});
