// The web viewer's pictures in the README, taken by the tests' browser (Chromium, WebGL on
// llvmpipe) with real input: the page opened from disk, a model dropped on it and turned, its
// outlines, a page written by zemconvert, and the message for a file that is no model.
// node tests/web/screenshots.js [BUILD [WEB_BUILD]]   (from the repository's root, after scripts/test.sh)
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const { execFileSync } = require('child_process');

const root = path.join(__dirname, '..', '..');
const build = path.resolve(process.argv[2] || path.join(root, 'build'));
const webBuild = path.resolve(process.argv[3] || path.join(root, 'build-web'));
const { launchBrowser, openPage, settled } = require('./lib/browser');
const { drag, nextFrame } = require('./lib/views');
const { dropFile } = require('./lib/input');

async function shoot(page, name) {
  await nextFrame(page);
  const file = path.join(root, 'docs', `web-${name}.png`);
  fs.writeFileSync(file, Buffer.from(await page.screenshot({ type: 'png' })));
  console.log(path.relative(root, file));
}

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'zemweb-shots-'));
  const browser = await launchBrowser('llvmpipe');
  try {
    const page = await openPage(browser);
    await page.goto(pathToFileURL(path.join(webBuild, 'zemview.html')).href);
    await settled(page, 'start');
    await shoot(page, 'start');
    await dropFile(page, path.join(root, 'models', 'torus.zem'));
    await settled(page, 'model');
    await drag(page, 'left', [320, 240], [350, 265]);
    await shoot(page, 'torus');
    await page.keyboard.press('w');
    await shoot(page, 'outline');
    const text = path.join(scratch, 'notes.txt');
    fs.writeFileSync(text, 'These are notes, not a model.\n');
    await dropFile(page, text);
    await settled(page, 'message');
    await shoot(page, 'error');
    const terrain = path.join(scratch, 'terrain.zem');
    fs.writeFileSync(terrain, execFileSync(path.join(build, 'zemgen'), ['terrain'], { maxBuffer: 1 << 28 }));
    const shared = path.join(scratch, 'terrain.html');
    execFileSync(path.join(build, 'zemconvert'), [terrain, shared]);
    await page.goto(pathToFileURL(shared).href);
    await settled(page, 'model');
    await drag(page, 'left', [320, 240], [300, 275]);
    await shoot(page, 'terrain');
  } finally {
    await browser.close();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
