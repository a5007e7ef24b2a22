// The page words sizes as the programs do: every row of the table that base_tests holds the native
// words to, through the page's own script.
'use strict';
const test = require('node:test');
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const { env } = require('./lib/env');
const { loadPageScripts } = require('./lib/page_scripts');

const page = loadPageScripts(env.source(), ['words.js'], ['memoryWords']);

test('sizes in the words of the native lines', () => {
  const table = fs.readFileSync(path.join(env.source(), 'tests', 'base', 'memory_words.txt'), 'utf8');
  const rows = table.split('\n').filter((line) => line !== '' && !line.startsWith('#')).map((line) => line.split('\t'));
  assert.ok(rows.length > 10);
  for (const [bytes, words] of rows) assert.strictEqual(page.memoryWords(Number(bytes)), words, bytes);
});
