// The page's own scripts (web/js/) loaded into Node.js, for the tests of what they compute.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

// The named functions of the given scripts, evaluated in order in one context, as the page does.
function loadPageScripts(source, files, names) {
  const context = vm.createContext({ Math, DataView, ArrayBuffer, BigInt, Number });
  for (const file of files) vm.runInContext(fs.readFileSync(path.join(source, 'web', 'js', file), 'utf8'), context, { filename: file });
  const found = {};
  for (const name of names) found[name] = vm.runInContext(name, context);
  return found;
}

module.exports = { loadPageScripts };
