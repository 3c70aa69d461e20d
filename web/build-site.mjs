// Builds the static site: the page, its bundled scripts (with the npm libraries they use) and
// the engine's WebAssembly module, all in one folder that any web server can serve as it is,
// and in its folder sound/ what playing a song needs: the player (with its synthesizer and the
// synthesizer's audio worklet) and the General MIDI sound font with its licence. Then the
// service worker that keeps the site for offline use, named after a hash of every other file so
// that a changed site replaces the kept copy, and keeps sound/ from the first Play on; and the
// sizes of both, printed and written beside the site folder in site-sizes.json (the README
// quotes them):
//   node build-site.mjs SITE_FOLDER KORALUX_JS KORALUX_WASM SOUND_FONT LICENCE_FILE...

import * as esbuild from 'esbuild';
import {createHash} from 'node:crypto';
import {copyFileSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import path from 'node:path';
import {gzipSync} from 'node:zlib';

const here = path.dirname(new URL(import.meta.url).pathname);
const source = path.join(here, 'src');
const serviceWorker = 'service-worker.js';
const sound = 'sound';

async function build(site, moduleScript, moduleWasm, soundFont, licences) {
  rmSync(site, {recursive: true, force: true});
  mkdirSync(path.join(site, sound), {recursive: true});
  const bundle = (entryPoints, external = []) => esbuild.build({
    entryPoints,
    outdir: site,
    bundle: true,
    format: 'esm',
    minify: true,
    target: ['chrome100', 'firefox100', 'safari15'],
    external,
    logLevel: 'warning',
  });
  // The engine's own loader sits beside the bundles and finds koralux.wasm beside itself; the
  // page loads the player at the first Play.
  await bundle(
      {app: path.join(source, 'app.js'), worker: path.join(source, 'worker.js')},
      ['./koralux.js', `./${sound}/player.js`]);
  await bundle({[`${sound}/player`]: path.join(source, 'player.js')});
  for (const file of ['index.html', 'style.css', 'icon.svg', 'manifest.webmanifest', 'on-disk.js'])
    copyFileSync(path.join(source, file), path.join(site, file));
  copyFileSync(moduleScript, path.join(site, 'koralux.js'));
  copyFileSync(moduleWasm, path.join(site, 'koralux.wasm'));
  const processor = 'spessasynth_processor.min.js';
  copyFileSync(
      path.join(here, 'node_modules/spessasynth_lib/dist', processor),
      path.join(site, sound, processor));
  const fontName = path.basename(soundFont);
  copyFileSync(soundFont, path.join(site, sound, fontName));
  writeFileSync(
      path.join(site, sound, `${fontName.replace(/\.[^.]*$/, '')}-LICENCE.txt`),
      licences.map((file) => readFileSync(file, 'utf8')).join('\n\n'));
}

export function finishSite(site) {
  rmSync(path.join(site, serviceWorker), {force: true});
  const files = readdirSync(site, {withFileTypes: true})
                    .filter((entry) => entry.isFile())
                    .map((entry) => entry.name)
                    .sort();
  const sounds = readdirSync(path.join(site, sound)).sort().map((file) => `${sound}/${file}`);
  const digest = (list) => {
    const hash = createHash('sha256');
    for (const file of list)
      hash.update(file).update('\0').update(readFileSync(path.join(site, file)));
    return hash.digest('hex').slice(0, 16);
  };
  const version = digest(files);
  const template = readFileSync(path.join(source, serviceWorker), 'utf8');
  const text = template.replace(/(['"])@VERSION@\1/, JSON.stringify(version))
                   .replace(/(['"])@SOUNDS@\1/, JSON.stringify(digest(sounds)))
                   .replace(/\[(['"])@FILES@\1\]/, JSON.stringify(['./', ...files]));
  if (/@(VERSION|SOUNDS|FILES)@/.test(text))
    throw new Error(`${serviceWorker}: a placeholder is left`);
  writeFileSync(path.join(site, serviceWorker), text);

  // What a visitor downloads, every file as sent and as gzip -9 compresses it: at the first
  // visit, and at the first Play.
  const measure = (list) => {
    let bytes = 0;
    let gzipped = 0;
    for (const file of list) {
      const content = readFileSync(path.join(site, file));
      bytes += content.length;
      gzipped += gzipSync(content, {level: 9}).length;
    }
    return {bytes, gzipped};
  };
  const sizes = {
    version,
    files: files.length + 1,
    ...measure([...files, serviceWorker]),
    firstPlay: measure(sounds),
  };
  writeFileSync(
      path.join(path.dirname(path.resolve(site)), 'site-sizes.json'), JSON.stringify(sizes));
  return sizes;
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [site, moduleScript, moduleWasm, soundFont, ...licences] = process.argv.slice(2);
  await build(site, moduleScript, moduleWasm, soundFont, licences);
  const {bytes, gzipped, firstPlay} = finishSite(site);
  const kb = ({bytes, gzipped}) =>
      `${Math.round(bytes / 1000)} KB, ${Math.round(gzipped / 1000)} KB compressed`;
  console.log(`The site: ${kb({bytes, gzipped})}; at the first Play: ${kb(firstPlay)}`);
}
