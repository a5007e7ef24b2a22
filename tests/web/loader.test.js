// The WebAssembly loader against the native one: the same model library built by emscripten and
// run under Node.js, and built by g++, load every sample, every file of the fuzz corpus, the
// terrain and the largest random model; each dump (numbers, normals as float bits, the loader's
// lines) must match line for line.
'use strict';
const test = require('node:test');
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { env, scratchFolder, terrainModel } = require('./lib/env');

const folder = scratchFolder();

function dump(command, args, files) {
  return execFileSync(command, [...args, ...files], { maxBuffer: 1 << 30, encoding: 'latin1' });
}

// "file <path>" starts each model's part of a dump.
function byFile(text) {
  const parts = new Map();
  for (const part of text.split(/^file /m).slice(1)) {
    const newline = part.indexOf('\n');
    parts.set(part.slice(0, newline), part.slice(newline + 1));
  }
  return parts;
}

function firstDifference(a, b) {
  const x = a.split('\n'), y = b.split('\n');
  const line = x.findIndex((l, i) => l !== y[i]);
  return `line ${line + 1} differs:\n  native: ${x[line]}\n  wasm:   ${y[line]}`;
}

function compare(files) {
  const native = byFile(dump(env.program('loader_dump'), [], files));
  const wasm = byFile(dump(process.execPath, [path.join(env.webBuild(), 'zem_dump.js')], files));
  let loaded = 0;
  for (const file of files) {
    const a = native.get(file), b = wasm.get(file);
    assert.ok(a !== undefined, `the native loader wrote nothing for ${file}`);
    assert.ok(b !== undefined, `the WebAssembly loader wrote nothing for ${file}`);
    assert.ok(a === b, `${file}: ${firstDifference(a, b)}`);
    if (a.startsWith('loaded')) loaded++;
  }
  return loaded;
}

test('the sample models load the same, normals bit for bit', () => {
  assert.strictEqual(compare(env.models()), env.models().length);
});

test('every file of the fuzz corpus loads or fails the same, with the same lines', () => {
  const corpus = path.join(env.source(), 'fuzz', 'corpus');
  const files = fs.readdirSync(corpus).sort().map((f) => path.join(corpus, f));
  const loaded = compare(files);
  assert.ok(files.length > 100 && loaded > 0 && loaded < files.length, `${loaded} of ${files.length} loaded`);
});

test('a missing file and a folder fail the same', () => {
  compare([path.join(folder, 'missing.zem'), folder]);
});

test('the terrain and the largest random model load the same', () => {
  const random = path.join(folder, 'random.zem');
  fs.writeFileSync(random, execFileSync(env.program('zemgen'), ['random', '32767', '65534', '1'], { maxBuffer: 1 << 28 }));
  assert.strictEqual(compare([terrainModel(folder), random]), 2);
});

// The page reads the model record at the word numbers web/js/loader.js names; the module's own
// header names them too, and checks them against the record's layout as it compiles.
test('the page reads the model record where the module lays it out', () => {
  const words = (file) => new Map([...fs.readFileSync(path.join(env.source(), 'web', file), 'utf8')
    .matchAll(/\b(kWord\w+) = (\d+)/g)].map((m) => [m[1], Number(m[2])]));
  const module = words('binding.h'), page = words('js/loader.js');
  assert.ok(module.size >= 16, `${module.size} words named in web/binding.h`);
  assert.deepStrictEqual([...page].sort(), [...module].sort());
});
