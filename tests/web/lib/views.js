// The views the picture tests walk through with real input, each with the zemrender command line
// that draws the same view: the first view, a left drag, a right drag, then b, s, l and w in turn.
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { decodePng, comparePictures } = require('./png');
const { env } = require('./env');

const kStart = { rotX: 0, rotY: 0, distance: -500, black: true, lit: true, smooth: true, outline: false };

function zemrenderArgs(view, width, height) {
  // fit: placed by zemrender --fit, which chooses the distance.
  const args = ['--rotate-x', String(view.rotX), '--rotate-y', String(view.rotY),
    ...(view.fit ? ['--fit'] : ['--distance', String(view.distance)]), '--size', `${width}x${height}`];
  if (!view.black) args.push('--background', 'white');
  if (!view.lit) args.push('--no-lighting');
  if (!view.smooth) args.push('--flat');
  if (view.outline) args.push('--outline');
  return args;
}

// zemrender's picture of model in view, decoded.
function zemrenderPicture(model, view, width, height, folder) {
  const png = path.join(folder, 'zemrender.png');
  execFileSync(env.program('zemrender'), [...zemrenderArgs(view, width, height), model, png]);
  return decodePng(fs.readFileSync(png));
}

async function pagePicture(page) {
  return decodePng(Buffer.from(await page.screenshot({ type: 'png' })));
}

// A drag with a mouse button through the browser's input events, in a few steps as a hand moves.
async function drag(page, button, from, to) {
  await page.mouse.move(from[0], from[1]);
  await page.mouse.down({ button });
  await page.mouse.move(to[0], to[1], { steps: 6 });
  await page.mouse.up({ button });
}

async function nextFrame(page) {
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  // A view whose streams the loader is still making (flat faces, outlines) keeps the last picture
  // until they come; on a busy machine that is longer than two frames.
  await page.waitForFunction(() => document.documentElement.dataset.drawn !== 'waiting', { timeout: 60000 });
}

// Each step: what it does to the page, and what it does to the view it expects. A left drag of
// (dx, dy) turns dy degrees about X and dx about Y; a right drag up moves the model farther.
const kSteps = [
  { name: 'first view', act: async () => {}, change: () => {} },
  { name: 'left drag', act: (p) => drag(p, 'left', [300, 200], [337, 223]), change: (v) => { v.rotY += 37; v.rotX += 23; } },
  { name: 'right drag', act: (p) => drag(p, 'right', [200, 300], [205, 240]), change: (v) => { v.distance -= 60; } },
  { name: 'key b', act: (p) => p.keyboard.press('b'), change: (v) => { v.black = !v.black; } },
  { name: 'key s', act: (p) => p.keyboard.press('s'), change: (v) => { v.smooth = !v.smooth; } },
  { name: 'key l', act: (p) => p.keyboard.press('l'), change: (v) => { v.lit = !v.lit; } },
  { name: 'key w', act: (p) => p.keyboard.press('w'), change: (v) => { v.outline = !v.outline; } },
];

// Walks a page that shows model through the steps; returns one row per step with the comparison.
async function walkViews(page, model, folder, width, height) {
  const view = { ...kStart };
  const rows = [];
  for (const step of kSteps) {
    await step.act(page);
    step.change(view);
    await nextFrame(page);
    const got = await pagePicture(page);
    const expected = zemrenderPicture(model, view, width, height, folder);
    rows.push({ model: path.basename(model), step: step.name, ...comparePictures(got, expected), args: zemrenderArgs(view, width, height).join(' ') });
  }
  return rows;
}

function printRows(title, rows) {
  console.log(`\n${title}`);
  console.log('model              view          differing   share   beyond 2 levels   share   largest');
  for (const r of rows)
    console.log(`${r.model.padEnd(18)} ${r.step.padEnd(12)} ${String(r.differing).padStart(10)} ${(100 * r.differingShare).toFixed(2).padStart(6)}% ` +
      `${String(r.beyond2).padStart(17)} ${(100 * r.beyond2Share).toFixed(2).padStart(6)}% ${String(r.largest).padStart(8)}`);
}

module.exports = { kStart, zemrenderArgs, zemrenderPicture, pagePicture, drag, nextFrame, walkViews, printRows };
