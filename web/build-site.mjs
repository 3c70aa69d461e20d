// Builds the static site: the page, its bundled scripts (with the npm libraries they use) and
// the engine's WebAssembly module, all in one folder that any web server can serve as it is.
//   node build-site.mjs SITE_FOLDER KORALUX_JS KORALUX_WASM

import * as esbuild from 'esbuild';
import {copyFileSync, mkdirSync} from 'node:fs';
import path from 'node:path';

const [site, moduleScript, moduleWasm] = process.argv.slice(2);
const source = path.join(path.dirname(new URL(import.meta.url).pathname), 'src');
mkdirSync(site, {recursive: true});

await esbuild.build({
  entryPoints: {app: path.join(source, 'app.js'), worker: path.join(source, 'worker.js')},
  outdir: site,
  bundle: true,
  format: 'esm',
  minify: true,
  target: ['chrome100', 'firefox100', 'safari15'],
  // The engine's own loader sits beside the bundles and finds koralux.wasm beside itself.
  external: ['./koralux.js'],
  logLevel: 'warning',
});
for (const file of ['index.html', 'style.css', 'icon.svg']) {
  copyFileSync(path.join(source, file), path.join(site, file));
}
copyFileSync(moduleScript, path.join(site, 'koralux.js'));
copyFileSync(moduleWasm, path.join(site, 'koralux.wasm'));
