// Builds the static site: the page, its bundled scripts (with the npm libraries they use) and
// the engine's WebAssembly module, all in one folder that any web server can serve as it is;
// then the service worker that keeps the site for offline use, named after a hash of every
// other file so that a changed site replaces the kept copy; and the site's sizes, printed and
// written beside the site folder in site-sizes.json (the README quotes them):
//   node build-site.mjs SITE_FOLDER KORALUX_JS KORALUX_WASM

import * as esbuild from 'esbuild';
import {createHash} from 'node:crypto';
import {copyFileSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import path from 'node:path';
import {gzipSync} from 'node:zlib';

const here = path.dirname(new URL(import.meta.url).pathname);
const source = path.join(here, 'src');
const serviceWorker = 'service-worker.js';

async function build(site, moduleScript, moduleWasm) {
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
  for (const file of ['index.html', 'style.css', 'icon.svg', 'manifest.webmanifest', 'on-disk.js'])
    copyFileSync(path.join(source, file), path.join(site, file));
  copyFileSync(moduleScript, path.join(site, 'koralux.js'));
  copyFileSync(moduleWasm, path.join(site, 'koralux.wasm'));
}

// Writes the service worker for the files in `site` as they are now and measures the site. Run
// again after a file of the site changed, it gives the service worker a new cache name.
export function finishSite(site) {
  rmSync(path.join(site, serviceWorker), {force: true});
  const files = readdirSync(site).sort();
  const hash = createHash('sha256');
  for (const file of files)
    hash.update(file).update('\0').update(readFileSync(path.join(site, file)));
  const version = hash.digest('hex').slice(0, 16);
  const template = readFileSync(path.join(source, serviceWorker), 'utf8');
  const text = template.replace(/(['"])@VERSION@\1/, JSON.stringify(version))
                   .replace(/\[(['"])@FILES@\1\]/, JSON.stringify(['./', ...files]));
  if (/@(VERSION|FILES)@/.test(text)) throw new Error(`${serviceWorker}: a placeholder is left`);
  writeFileSync(path.join(site, serviceWorker), text);

  // What a visitor downloads: every file, as sent and as gzip -9 compresses it.
  let bytes = 0;
  let gzipped = 0;
  for (const file of [...files, serviceWorker]) {
    const content = readFileSync(path.join(site, file));
    bytes += content.length;
    gzipped += gzipSync(content, {level: 9}).length;
  }
  const sizes = {version, files: files.length + 1, bytes, gzipped};
  writeFileSync(
      path.join(path.dirname(path.resolve(site)), 'site-sizes.json'), JSON.stringify(sizes));
  return sizes;
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [site, moduleScript, moduleWasm] = process.argv.slice(2);
  await build(site, moduleScript, moduleWasm);
  const {bytes, gzipped} = finishSite(site);
  console.log(
      `The site: ${Math.round(bytes / 1000)} KB, ${Math.round(gzipped / 1000)} KB compressed`);
}
