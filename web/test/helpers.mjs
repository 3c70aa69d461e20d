// What the web tests share: where the builds are, generated performances and the native
// converter's answers for them.

import {execFileSync, spawnSync} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';

const here = path.dirname(new URL(import.meta.url).pathname);
export const sourceDir = path.resolve(here, '../..');
// The native programs (preset "default") and the site (preset "web").
export const nativeBin = process.env.KORALUX_NATIVE_BIN ?? path.join(sourceDir, 'build/bin');
export const webBuild = process.env.KORALUX_WEB_BUILD ?? path.join(sourceDir, 'build-web');
export const siteDir = path.join(webBuild, 'site');

export function temporaryFolder(t) {
  const folder = mkdtempSync(path.join(tmpdir(), 'koralux-web-'));
  t.after(() => rmSync(folder, {recursive: true, force: true}));
  return folder;
}

// Writes a performance with koralux-gen and returns its path.
export function generate(folder, name, options) {
  const file = path.join(folder, name);
  execFileSync(path.join(nativeBin, 'koralux-gen'), [file, ...options]);
  return file;
}

// What koralux-cli makes of `file`: {midi} on success, {message} (without the program's name)
// on failure.
export function convertNatively(file, cliOptions, outputName = `${file}.native.mid`) {
  const run =
      spawnSync(path.join(nativeBin, 'koralux-cli'), [file, '-q', '-o', outputName, ...cliOptions]);
  if (run.status === 0) return {midi: new Uint8Array(readFileSync(outputName))};
  return {message: run.stderr.toString().trim().replace(/^koralux-cli: /, '')};
}

// The bytes of a header and an event stream given as hex, e.g. "90 3C 64  F3 0A".
export function performance(hex) {
  const events = hex.split(/\s+/).filter(Boolean).map((byte) => parseInt(byte, 16));
  return Uint8Array.from([...new Array(256).fill(0), ...events]);
}

// Debian's chromium, headless, for the page's tests.
export function launchChromium() {
  return chromium.launch({
    executablePath: process.env.KORALUX_CHROMIUM ?? '/usr/bin/chromium',
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run'
    ],
  });
}
