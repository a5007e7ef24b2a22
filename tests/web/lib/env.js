// What the web tests work with, from the environment CTest gives them: the programs of the native
// build, the emscripten build's page and loader, the source tree; and the failure for a machine that
// lacks the browser.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');


function need(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run this suite through CTest (ctest -L web)`);
  return value;
}

const env = {
  source: () => need('ZEM_SOURCE'),
  webBuild: () => need('ZEM_WEB_BUILD'),
  page: () => path.join(need('ZEM_WEB_BUILD'), 'zemview.html'),
  program: (name) => need('ZEM_' + name.toUpperCase()),
  models: () => fs.readdirSync(path.join(need('ZEM_SOURCE'), 'models')).filter((f) => f.endsWith('.zem')).sort()
    .map((f) => path.join(need('ZEM_SOURCE'), 'models', f)),
};

// Fails the suite, naming what to install, when the browser or its driver is missing.
function requireBrowser() {
  const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
  let reason = null;
  if (!fs.existsSync(chromium)) reason = `${chromium} is missing (Debian package chromium)`;
  else {
    try {
      require.resolve(path.join(execFileSync('npm', ['root', '-g'], { encoding: 'utf8' }).trim(), 'puppeteer-core'));
    } catch (e) {
      reason = 'puppeteer-core is missing (npm install -g puppeteer-core, as scripts/install-deps.sh does)';
    }
  }
  if (reason) {
    // A tool that a package gives is no reason to skip: the suite fails, naming what to install.
    console.log('not ok - ' + reason);
    process.exit(1);
  }
}

// A folder of its own for a suite's files, removed at exit.
function scratchFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'zemweb-'));
  process.on('exit', () => fs.rmSync(folder, { recursive: true, force: true }));
  return folder;
}

// zemgen's terrain (63,000 triangles), written once per suite.
function terrainModel(folder) {
  const file = path.join(folder, 'terrain.zem');
  if (!fs.existsSync(file)) fs.writeFileSync(file, execFileSync(env.program('zemgen'), ['terrain'], { maxBuffer: 1 << 28 }));
  return file;
}

module.exports = { env, requireBrowser, scratchFolder, terrainModel };
