// Serves a folder as static files on 127.0.0.1, for trying the site and for its tests.
//   node serve.mjs FOLDER [PORT]   (port 0 picks a free one; the address is printed)

import {createReadStream, statSync} from 'node:fs';
import {createServer} from 'node:http';
import path from 'node:path';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.webmanifest': 'application/manifest+json',
  '.wasm': 'application/wasm',
  '.txt': 'text/plain; charset=utf-8',
};

export function serve(folder, port = 0) {
  const root = path.resolve(folder);
  const server = createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const file = path.join(root, decodeURIComponent(url.pathname).replace(/\/$/, '/index.html'));
    let size;
    try {
      if (!file.startsWith(root + path.sep)) throw new Error('outside');
      size = statSync(file).size;
    } catch {
      response.writeHead(404, {'content-type': 'text/plain'}).end('Not found\n');
      return;
    }
    response.writeHead(200, {
      'content-type': types[path.extname(file)] ?? 'application/octet-stream',
      'content-length': size,
      'cache-control': 'no-cache',
    });
    createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => {
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [folder, port = '8000'] = process.argv.slice(2);
  const server = await serve(folder, Number(port));
  console.log(`KORALUX is served at http://127.0.0.1:${server.address().port}/ (Ctrl+C ends)`);
}
