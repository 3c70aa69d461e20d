// Measures what a visitor downloads, the time from opening the page to its being ready, and the
// browser's conversion time of the benchmark inputs (2 MB and 64 MB) against the native
// in-memory conversion of the same inputs, in one run. Not a test; run by hand after both
// builds and the bench preset (see the README):
//   node web/figures.mjs

import {execFileSync} from 'node:child_process';
import {mkdtempSync, readdirSync, readFileSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {gzipSync} from 'node:zlib';
import {chromium} from 'playwright-core';

import {serve} from './serve.mjs';
import {nativeBin, siteDir, sourceDir} from './test/helpers.mjs';

const bench = path.join(sourceDir, 'build-bench/bin/koralux-bench');
const folder = mkdtempSync(path.join(tmpdir(), 'koralux-figures-'));
const kib = (bytes) => `${(bytes / 1024).toFixed(1)} KiB`;

// The site at the first visit, then sound/ at the first Play.
for (const folder of ['', 'sound']) {
  console.log(`What a visitor downloads ${folder ? 'at the first Play' : 'first'} (raw, gzip -9):`);
  let raw = 0;
  let zipped = 0;
  for (const entry of readdirSync(path.join(siteDir, folder), {withFileTypes: true})) {
    if (!entry.isFile()) continue;
    const bytes = readFileSync(path.join(siteDir, folder, entry.name));
    const gz = gzipSync(bytes, {level: 9}).length;
    raw += bytes.length;
    zipped += gz;
    console.log(
        `  ${entry.name.padEnd(30)} ${kib(bytes.length).padStart(10)} ${kib(gz).padStart(10)}`);
  }
  console.log(`  ${'all'.padEnd(30)} ${kib(raw).padStart(10)} ${kib(zipped).padStart(10)}`);
}

// The benchmark's inputs: seed 7, grown to 2 MiB and 64 MiB.
const inputs = [['long_2MB', 2 << 20], ['giant_64MB', 64 << 20]].map(([name, bytes]) => {
  const file = path.join(folder, `${name}.evt`);
  execFileSync(
      path.join(nativeBin, 'koralux-gen'), [file, '--seed', '7', '--bytes', String(bytes)]);
  return {name, file};
});

const server = await serve(siteDir);
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-first-run'
  ],
});
const page = await browser.newPage();
const loads = [];
for (let i = 0; i < 5; ++i) {
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('body[data-ready="true"]');
  loads.push(Number(await page.getAttribute('body', 'data-ready-at')));
}
console.log(`Page load to ready (5 loads): ${loads.join(', ')} ms`);

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const browserMs = {};
for (const {name, file} of inputs) {
  const times = [];
  for (let i = 0; i < 3; ++i) {
    await page.evaluate(() => document.getElementById('clear').click());  // files add up
    await page.setInputFiles('#files', file);
    await page.waitForSelector('.card[data-state="done"]', {timeout: 600_000});
    times.push(Number(await page.getAttribute('.card', 'data-milliseconds')));
  }
  browserMs[name] = median(times);
}
await browser.close();
server.close();

const nativeMs = {};
const report = JSON.parse(execFileSync(bench, [
  '--benchmark_filter=ConvertInMemory/(long_2MB|giant_64MB)', '--benchmark_format=json',
  '--benchmark_repetitions=3', '--benchmark_report_aggregates_only=true'
]));
for (const run of report.benchmarks) {
  if (run.aggregate_name !== 'median') continue;
  const name = run.run_name.split('/').at(-1);
  nativeMs[name] = run.real_time * {ns: 1e-6, us: 1e-3, ms: 1, s: 1e3}[run.time_unit];
}
console.log('Conversion in memory, median (browser: the engine call in the worker):');
for (const {name} of inputs) {
  const ratio = browserMs[name] / nativeMs[name];
  console.log(
      `  ${name.padEnd(11)} browser ${browserMs[name].toFixed(1)} ms, native ${
          nativeMs[name].toFixed(1)} ms, ` +
      `${ratio.toFixed(2)} x native`);
}
rmSync(folder, {recursive: true, force: true});
