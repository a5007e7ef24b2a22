// The web viewer's benchmark: the page's size, the time from navigation to the first drawn frame
// (the terrain against the tetrahedron, and against a general-purpose glTF viewer showing the same
// terrain as GLB), and the frame time while the terrain turns, against the native window's. Every
// figure is a ratio of medians measured in this run, in one browser (Chromium, WebGL on llvmpipe).
// The same frame-time ratio on the largest ball the format holds and on the random model below.
// Then a model whose faces cover the window thousands of times: the page's first frame against
// zemrender's picture of it, its longest tasks, and how soon it takes in each move of a drag.
// node bench/web/web_bench.js BUILD WEB_BUILD MODEL_VIEWER_DIST
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { execFileSync } = require('child_process');
const lib = path.join(__dirname, '..', '..', 'tests', 'web', 'lib');
const { launchBrowser, openPage, settled, rendererName } = require(path.join(lib, 'browser'));
const { startServer } = require(path.join(lib, 'server'));

const [build, webBuild, tools] = process.argv.slice(2);
const root = path.join(__dirname, '..', '..');
const kRuns = 7;
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

function prepareModels(folder) {
  const source = path.join(root, 'models', 'tetra.zem');
  fs.copyFileSync(source, path.join(folder, 'tetra.zem'));
  fs.writeFileSync(path.join(folder, 'terrain.zem'), execFileSync(path.join(build, 'zemgen'), ['terrain'], { maxBuffer: 1 << 28 }));
  execFileSync(path.join(build, 'zemconvert'), [path.join(folder, 'terrain.zem'), path.join(folder, 'terrain.glb')]);
  fs.writeFileSync(path.join(folder, 'sphere.zem'), execFileSync(path.join(build, 'zemgen'), ['sphere'], { maxBuffer: 1 << 28 }));
  fs.writeFileSync(path.join(folder, 'random.zem'), execFileSync(path.join(build, 'zemgen'), ['random', '32767', '100000'], { maxBuffer: 1 << 28 }));
}

// zemrender's time for the picture the page first shows of the random model (framed, 640x480), in
// milliseconds: loading, drawing and writing it, as the page's first frame covers its loading.
function zemrenderTime(folder) {
  const start = process.hrtime.bigint();
  execFileSync(path.join(build, 'zemrender'), ['--fit', '--size', '640x480', path.join(folder, 'random.zem'), path.join(folder, 'random.png')]);
  return Number(process.hrtime.bigint() - start) / 1e6;
}

// The page with the random model, whose faces cover the window thousands of times: its first
// frame, its longest task on the main thread while loading and drawing, and how long each of 30
// mouse moves of a drag takes the browser to take in (it waits for the page's frame).
async function fillBound(browser, origin) {
  const page = await openPage(browser);
  await page.evaluateOnNewDocument(() => {
    window.longestTask = 0;
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.longestTask = Math.max(window.longestTask, e.duration);
    }).observe({ entryTypes: ['longtask'] });
  });
  await page.goto(`${origin}/page/zemview.html?controls=none&model=/scratch/random.zem`);
  await page.waitForFunction(() => document.documentElement.dataset.firstFrame, { timeout: 120000, polling: 50 });
  const first = Number(await page.evaluate(() => document.documentElement.dataset.firstFrame));
  const loadingTask = await page.evaluate(() => window.longestTask);
  await page.evaluate(() => { window.longestTask = 0; });
  await page.mouse.move(320, 240);
  await page.mouse.down();
  const moves = [];
  for (let i = 1; i <= 30; i++) {
    const start = process.hrtime.bigint();
    await page.mouse.move(320 + 3 * i, 240);
    moves.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  await page.mouse.up();
  const movingTask = await page.evaluate(() => window.longestTask);
  await page.close();
  return { first, loadingTask, movingTask, move: median(moves), slowestMove: Math.max(...moves) };
}

// Milliseconds from navigation to the page's note of its first frame.
async function firstFrame(browser, url) {
  const page = await openPage(browser);
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.firstFrame || document.documentElement.dataset.error,
    { timeout: 120000 });
  const error = await page.evaluate(() => document.documentElement.dataset.error);
  if (error) throw new Error(`${url}: ${error}`);
  const ms = Number(await page.evaluate(() => document.documentElement.dataset.firstFrame));
  await page.close();
  return ms;
}

// The native window's frame of a model of bench/draw_bench ('terrain', 'sphere', 'random_framed'),
// lit and smooth, as the viewer draws it (its batched drawing, under a display), in the view the
// page turns it to: its median in milliseconds.
function nativeFrame(model) {
  const out = execFileSync('bash', [path.join(root, 'scripts', 'with-display.sh'), path.join(build, 'bench', 'draw_bench'),
    `--benchmark_filter=^frame/${model}/lit_smooth/`], { encoding: 'utf8', maxBuffer: 1 << 24 });
  const match = new RegExp(`^ *frame/${model}/lit_smooth .*-> *([0-9.]+) ms`, 'm').exec(out);
  if (!match) throw new Error('the native benchmark gave no frame time:\n' + out);
  return Number(match[1]);
}

// Frames while a model turns: the page times each frame it draws in full (with ?timing, also those
// of a fill-bound model); the view is the one the native benchmark times, reached with a drag and
// then turned a degree at a time. The first frames (skip), which upload the model, are not counted.
async function turningFrames(browser, origin, model, count = 80, skip = 10) {
  const page = await openPage(browser);
  await page.goto(`${origin}/page/zemview.html?timing&model=/scratch/${model}.zem`, { timeout: 120000 });
  await settled(page, 'model', 120000);
  await page.mouse.move(320, 240);
  await page.mouse.down();
  await page.mouse.move(300, 275, { steps: 5 });
  for (let i = 0; i < count; i++) {
    await page.mouse.move(i % 2 ? 300 : 301, 275);
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(resolve)));
  }
  await page.mouse.up();
  const times = await page.evaluate((n) => window.zemviewFrameTimes.slice(n), skip);
  await page.close();
  return times;
}

async function main() {
  const folder = fs.mkdtempSync('/tmp/zemweb-bench-');
  prepareModels(folder);
  const server = await startServer({ '/page/': webBuild, '/scratch/': folder, '/tools/': tools, '/bench/': __dirname });
  const browser = await launchBrowser('llvmpipe', { networkEvents: false });
  try {
    const pageBytes = fs.readFileSync(path.join(webBuild, 'zemview.html'));
    const gzipped = zlib.gzipSync(pageBytes, { level: 9 }).length;
    const probe = await openPage(browser);
    await probe.goto(`${server.origin}/page/zemview.html`);
    console.log(`Renderer: ${await rendererName(probe)}`);
    await probe.close();

    const urls = {
      tetra: `${server.origin}/page/zemview.html?model=/scratch/tetra.zem`,
      terrain: `${server.origin}/page/zemview.html?model=/scratch/terrain.zem`,
      glb: `${server.origin}/bench/model_viewer.html?model=/scratch/terrain.glb`,
    };
    const times = { tetra: [], terrain: [], glb: [] };
    await firstFrame(browser, urls.tetra);  // the first start of the browser's renderer is not counted
    for (let run = 0; run < kRuns; run++)
      for (const kind of Object.keys(urls)) times[kind].push(await firstFrame(browser, urls[kind]));
    const m = Object.fromEntries(Object.entries(times).map(([k, v]) => [k, median(v)]));

    // The native frames before and after the page's, since a shared machine's speed drifts.
    const turning = [['terrain', 'terrain', 80, 10], ['sphere', 'sphere', 80, 10], ['random', 'random_framed', 6, 2]].map(
      ([model, native, count, skip]) => ({ model, native, count, skip }));
    for (const t of turning) {
      t.nativeBefore = nativeFrame(t.native);
      t.frames = await turningFrames(browser, server.origin, t.model, t.count, t.skip);
      t.nativeAfter = nativeFrame(t.native);
      t.web = median(t.frames);
      t.nativeMedian = (t.nativeBefore + t.nativeAfter) / 2;
    }

    // What the browser takes to show any frame on this renderer: the tetrahedron's frame is
    // nearly all of it, as its drawing is four triangles.
    const shown = median(await turningFrames(browser, server.origin, 'tetra', 40, 10));

    const random = [];
    const rendered = [];
    for (let run = 0; run < 3; run++) {
      rendered.push(zemrenderTime(folder));
      random.push(await fillBound(browser, server.origin));
    }
    const r = Object.fromEntries(Object.keys(random[0]).map((k) => [k, median(random.map((x) => x[k]))]));
    const zemrender = median(rendered);

    console.log(`\nMedians of ${kRuns} runs each, alternating, in this run:`);
    console.log(`  page size: ${pageBytes.length} bytes, ${gzipped} with gzip -9 (goal: at most 102400)`);
    console.log(`  first frame, tetrahedron: ${m.tetra.toFixed(0)} ms`);
    console.log(`  first frame, terrain:     ${m.terrain.toFixed(0)} ms, ${(m.terrain / m.tetra).toFixed(2)} times the tetrahedron (goal: at most 1.5)`);
    console.log(`  first frame, the same terrain as GLB in model-viewer: ${m.glb.toFixed(0)} ms; the page takes ` +
      `${(m.terrain / m.glb).toFixed(2)} of it (goal: at most 0.5)`);
    console.log('Frames while the model turns, 640x480, lit and smooth, the page (median) against the native window ' +
      '(its median before and after the page\'s):');
    for (const t of turning) {
      console.log(`  ${t.model}: ${t.web.toFixed(1)} ms a frame (${t.frames.length} frames, the slowest ` +
        `${Math.max(...t.frames).toFixed(1)}), the native window ${t.nativeMedian.toFixed(1)} ms (${t.nativeBefore.toFixed(1)} ` +
        `before, ${t.nativeAfter.toFixed(1)} after): ${(t.web / t.nativeMedian).toFixed(2)} times (goal: at most 1.5)`);
    }
    console.log(`  tetrahedron: ${shown.toFixed(1)} ms a frame, the browser's cost of showing a frame; beyond it ` +
      turning.map((t) => `${t.model} ${((t.web - shown) / t.nativeMedian).toFixed(2)}`).join(', ') + ' times the native window');
    console.log('Medians of 3 runs, zemgen random 32767 100000 (faces covering the window thousands of times):');
    console.log(`  first frame: ${r.first.toFixed(0)} ms; zemrender --fit of the same picture ${zemrender.toFixed(0)} ms: ` +
      `${(r.first / zemrender).toFixed(2)} times (goal: at most 1.5)`);
    console.log(`  longest main-thread task: ${r.loadingTask.toFixed(0)} ms while loading, ${r.movingTask.toFixed(0)} ms while ` +
      `turning (goal: at most 100)`);
    console.log(`  a mouse move while turning: ${r.move.toFixed(0)} ms, the slowest ${r.slowestMove.toFixed(0)} ms`);
  } finally {
    await browser.close();
    await server.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
