// Debian's Chromium driven by puppeteer-core, headless, on a closed network: WebGL through Mesa's
// llvmpipe (ANGLE on its OpenGL ES back end over EGL), the renderer zemrender uses, or through
// Chromium's own software renderer.
'use strict';
const path = require('path');
const { execFileSync } = require('child_process');

function requirePuppeteer() {
  const root = execFileSync('npm', ['root', '-g'], { encoding: 'utf8' }).trim();
  return require(path.join(root, 'puppeteer-core'));
}

const kRendererFlags = {
  llvmpipe: ['--use-gl=angle', '--use-angle=gl-egl', '--ignore-gpu-blocklist'],
  swiftshader: ['--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
};

// renderer: 'llvmpipe' or 'swiftshader'. networkEvents: false leaves out the DevTools network
// instrumentation, which copies every response the page reads (and which a user does not have),
// for benchmarks; tests keep it.
async function launchBrowser(renderer = 'llvmpipe', { networkEvents = true } = {}) {
  const puppeteer = requirePuppeteer();
  const args = [
    '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
    '--force-color-profile=srgb', '--hide-scrollbars', ...kRendererFlags[renderer],
  ];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return puppeteer.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args,
    protocolTimeout: 120000, networkEnabled: networkEvents });
}

// A page of width x height CSS pixels at the given device pixel ratio.
async function openPage(browser, width = 640, height = 480, scale = 1, touch = false) {
  const page = await browser.newPage();
  await page.setViewport({ width, height, deviceScaleFactor: scale, hasTouch: touch });
  page.on('pageerror', (e) => { page.lastError = String(e); });
  return page;
}

// Waits until the page shows a model ("model"), a message ("message") or its start ("start") and
// the frame after that has been drawn.
async function settled(page, state, timeout = 30000) {
  await page.waitForFunction((s) => document.documentElement.dataset.state === s, { timeout }, state);
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
}

async function rendererName(page) {
  return page.evaluate(() => {
    const gl = document.createElement('canvas').getContext('webgl2');
    const info = gl && gl.getExtension('WEBGL_debug_renderer_info');
    return gl ? gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER) : 'no WebGL 2';
  });
}

module.exports = { launchBrowser, openPage, settled, rendererName };
