// zemconvert's pages: every sample written as a page that opens straight from disk and shows the
// model as zemrender draws it; the page written to standard output; a model whose name is hostile
// HTML, carriage returns and bytes that are no UTF-8 placed inert and shown by name; and a model
// that cannot be written back as text refused with no file left behind.
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
const { zemrenderPicture, pagePicture, kStart } = require('./lib/views');
const { comparePictures } = require('./lib/png');

const folder = scratchFolder();
let browser;

test.before(async () => { browser = await launchBrowser('llvmpipe'); });
test.after(async () => { if (browser) await browser.close(); });

function zemconvert(...args) {
  return spawnSync(env.program('zemconvert'), args, { encoding: 'latin1', maxBuffer: 1 << 28 });
}

async function openPageFile(file) {
  const page = await openPage(browser);
  await page.goto(pathToFileURL(file).href + '?controls=none');
  await settled(page, 'model');
  return page;
}

async function assertShows(page, model) {
  const c = comparePictures(await pagePicture(page), zemrenderPicture(model, kStart, 640, 480, folder));
  assert.strictEqual(c.differing, 0, `${c.differing} pixels differ from zemrender's picture of ${model}`);
}

test('every sample as a page that opens from disk and shows the model', async () => {
  for (const model of env.models()) {
    const name = path.basename(model, '.zem');
    const out = path.join(folder, `${name}.html`);
    const run = zemconvert(model, out);
    assert.strictEqual(run.status, 0, run.stderr);
    assert.strictEqual(run.stderr, '');
    const page = await openPageFile(out);
    assert.strictEqual(await page.title(), `zemview - ${name}`);
    await assertShows(page, model);
    assert.strictEqual(page.lastError, undefined);
    await page.close();
  }
});

test('--format html writes the same page to standard output', () => {
  const model = path.join(env.source(), 'models', 'tetra.zem');
  const out = path.join(folder, 'tetra-file.html');
  assert.strictEqual(zemconvert(model, out).status, 0);
  const run = zemconvert('--format', 'html', model, '-');
  assert.strictEqual(run.status, 0);
  assert.strictEqual(run.stdout, fs.readFileSync(out, 'latin1'));
});

test('a hostile name is placed inert, and the page shows the model and its name', async () => {
  const name = Buffer.concat([Buffer.from('x</script><script>window.pwned=1</script><!--<script>%41&amp;'),
    Buffer.from([0xe9, 0x0d, 0x01, 0x7f]), Buffer.from('</SCRIPT >')]);
  const text = Buffer.concat([Buffer.from('SHAPE '), name, Buffer.from('_shape = { 0, 4, 2 };\n' +
    'VECTOR v[] = { { 0, -100, 0 }, { 100, 80, 0 }, { -100, 80, 0 }, { 0, 0, 150 } };\n' +
    'SPOLY p[] = { { 12, 3, { 0, 1, 2 } }, { 10, 3, { 0, 2, 3 } } };\n')]);
  const model = path.join(folder, 'hostile.zem');
  fs.writeFileSync(model, text);
  const out = path.join(folder, 'hostile.html');
  const run = zemconvert(model, out);
  assert.strictEqual(run.status, 0, run.stderr);
  const written = fs.readFileSync(out, 'latin1');
  const template = fs.readFileSync(env.page(), 'latin1');
  const count = (s, what) => s.split(what).length - 1;
  assert.strictEqual(count(written.toLowerCase(), '</script'), count(template.toLowerCase(), '</script'));
  assert.strictEqual(count(written, '\r'), 0);
  const page = await openPageFile(out);
  assert.strictEqual(await page.evaluate(() => window.pwned), undefined);
  // The title is the name as UTF-8 with its invalid byte replaced, as a title shows it: white space
  // collapsed, control characters left out.
  const expected = ('zemview - ' + new TextDecoder().decode(name)).replace(/[\t\n\f\r ]+/g, ' ').replace(/[\x00-\x1f\x7f]/g, '');
  assert.strictEqual(await page.title(), expected);
  await assertShows(page, model);
  assert.strictEqual(page.lastError, undefined);
  await page.close();
});

test('a name that the loader would misread in text is refused, and nothing is written', () => {
  const model = path.join(folder, 'keyword.zem');
  // The loader takes the name's braces for the vertex table, and the text written back would put
  // the table's first entry after them.
  fs.writeFileSync(model, 'SHAPE x VECTOR {7,8,9} y_shape = { 0, 3, 1 };\nVECTOR v[] = { {0,0,0}, {10,0,0}, {0,10,0} };\n' +
    'SPOLY p[] = { { 1, 3, { 0, 1, 2 } } };\n');
  const loads = spawnSync(env.program('loader_dump'), [model], { encoding: 'latin1' }).stdout;
  assert.match(loads, /^file .*\nloaded\n/, 'the model itself loads');
  const out = path.join(folder, 'keyword.html');
  const run = zemconvert(model, out);
  assert.strictEqual(run.status, 1);
  assert.strictEqual(run.stderr, `zemconvert: ${out}: the model cannot be written as ZEM text that loads back the same (its name holds VECTOR or SPOLY)\n`);
  assert.ok(!fs.existsSync(out));
  assert.deepStrictEqual(fs.readdirSync(folder).filter((f) => f.startsWith('keyword.html')), []);
});
