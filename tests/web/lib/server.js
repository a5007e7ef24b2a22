// A static file server on 127.0.0.1 for the tests and benchmarks, stopped by close(): files under
// the roots given, by URL prefix.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const kTypes = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.glb': 'model/gltf-binary', '.zem': 'model/x-zem', '.png': 'image/png' };

// roots: { '/prefix/': '/folder', ... }. Resolves to { origin, close }.
function startServer(roots) {
  const server = http.createServer((request, response) => {
    const url = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    for (const [prefix, folder] of Object.entries(roots)) {
      if (!url.startsWith(prefix)) continue;
      const root = path.resolve(folder);
      const file = path.join(root, url.slice(prefix.length));
      if (!file.startsWith(root + path.sep)) break;
      fs.readFile(file, (error, body) => {
        if (error) {
          response.writeHead(404, { 'Content-Type': 'text/plain' });
          response.end('not found');
          return;
        }
        response.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream',
          'Content-Length': body.length, 'Cache-Control': 'no-store' });
        response.end(body);
      });
      return;
    }
    response.writeHead(404, { 'Content-Type': 'text/plain' });
    response.end('not found');
  });
  return new Promise((resolve, reject) => {
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const origin = `http://127.0.0.1:${server.address().port}`;
      resolve({ origin, close: () => new Promise((done) => { server.closeAllConnections(); server.close(done); }) });
    });
  });
}

module.exports = { startServer };
