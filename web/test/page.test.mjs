// The page as a user keeps working with it: the list of files, the settings kept between
// visits, a file's own key and time, the piano roll's colours and zoom, the amber note of a file
// converted with doubts, accessibility (axe-core), and the README's figures for the site.

import * as esbuild from 'esbuild';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {readFileSync, writeFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {serve} from '../serve.mjs';

import {convertNatively, generate, launchChromium, nativeBin, siteDir, sourceDir, temporaryFolder, webBuild} from './helpers.mjs';

let browser;
let server;
before(async () => {
  browser = await launchChromium();
  server = await serve(siteDir);
});
after(async () => {
  await browser?.close();
  server?.close();
});

// A fresh page at the site, ready; the page's CSP is set aside so that a test may add scripts.
async function openPage(t) {
  const context =
      await browser.newContext({acceptDownloads: true, bypassCSP: true, serviceWorkers: 'block'});
  t.after(() => context.close());
  const page = await context.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

const cardNames = (page) => page.locator('.card .name').allTextContents();

test(
    'files are added to the list, removed one by one, cleared; a part keeps its colour',
    async (t) => {
      const folder = temporaryFolder(t);
      const [a, b, c] = [['1,2,3,4,15'], ['3,15,2'], ['1,2']].map(
          ([channels], i) =>
              generate(folder, `${'abc'[i]}.evt`, ['--seed', `${41 + i}`, '--channels', channels]));
      const page = await openPage(t);
      await page.setInputFiles('#files', [a, b]);
      await page.setInputFiles('#files', c);
      await page.waitForFunction(
          () => document.querySelectorAll('.card[data-state="done"]').length === 3);
      assert.deepEqual(await cardNames(page), ['a.evt', 'b.evt', 'c.evt']);

      const legends =
          await page.locator('.card .legend')
              .evaluateAll(
                  (all) => all.map(
                      (legend) => [...legend.querySelectorAll('.swatch[data-colour]')].map(
                          (swatch) => [swatch.textContent, swatch.dataset.colour])));
      const colourOf = new Map(legends[0]);
      assert.equal(new Set(colourOf.values()).size, colourOf.size, 'two parts share a colour');
      for (const [part, colour] of legends[1]) assert.equal(colour, colourOf.get(part), part);
      assert.ok(colourOf.has('Percussion, channel 10'), [...colourOf.keys()].join('; '));

      await page.click('.card:nth-child(2) .remove');
      assert.deepEqual(await cardNames(page), ['a.evt', 'c.evt']);
      assert.equal(await page.textContent('#download-all'), 'Download all 2 as a zip');
      await page.click('#clear');
      assert.deepEqual(await cardNames(page), []);
      assert.ok(await page.isHidden('#results'));
    });

test('settings survive a reload; a file\'s own key and time override them', async (t) => {
  const file = generate(temporaryFolder(t), 'own.evt', ['--seed', '44', '--seconds', '15']);
  const page = await openPage(t);
  await page.selectOption('#key', 'E Flat Major');
  await page.selectOption('#denominator', '8');
  await page.check('input[data-setting="legacyTiming"]');
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await page.inputValue('#key'), 'E Flat Major');
  assert.equal(await page.inputValue('#denominator'), '8');
  assert.ok(await page.isChecked('input[data-setting="legacyTiming"]'));
  assert.ok(!(await page.isChecked('input[data-setting="xgParts"]')));

  await page.setInputFiles('#files', file);
  await page.waitForSelector('.card[data-state="done"]');
  await page.click('.own summary');
  await page.selectOption('.own-numerator', '6');
  await page.selectOption('.own-key', 'A Minor');
  await page.waitForSelector('.card[data-state="done"]');
  const [download] =
      await Promise.all([page.waitForEvent('download'), page.click('#download-all')]);
  const native = convertNatively(file, ['--key', 'A Minor', '--time', '6/8', '--legacy-timing']);
  assert.ok(readFileSync(await download.path()).equals(Buffer.from(native.midi)));
});

test('the piano roll zooms and scrolls with buttons, keys and the wheel', async (t) => {
  const file = generate(temporaryFolder(t), 'long.evt', ['--seed', '45', '--seconds', '180']);
  const page = await openPage(t);
  await page.setInputFiles('#files', file);
  await page.waitForSelector('.card[data-state="done"]');
  const canvas = page.locator('.roll-canvas');
  const view = async () => (await canvas.getAttribute('data-view')).split(' ').map(Number);
  const [, whole] = await view();
  // The rows where the percussion's colour and the upper part's colour are painted.
  const rows = (colour) => canvas.evaluate((c, rgb) => {
    const {data} = c.getContext('2d').getImageData(0, 0, c.width, c.height);
    const found = new Set();
    for (let i = 0; i < data.length; i += 4) {
      if ([0, 1, 2].every((k) => data[i + k] === rgb[k])) found.add(Math.floor(i / 4 / c.width));
    }
    return found.size === 0 ? [NaN, NaN] :
                              [Math.min(...found) / c.height, Math.max(...found) / c.height];
  }, [0, 2, 4].map((k) => parseInt(colour.slice(k, k + 2), 16)));
  const lane = 170 / 220;  // where the percussion lane starts
  const [percussionTop] = await rows('7a5230');
  const [, upperBottom] = await rows('1f5fa8');
  assert.ok(percussionTop >= lane && upperBottom < lane, `${percussionTop} ${upperBottom}`);
  await page.click('[data-zoom="in"]');
  await canvas.press('+');
  assert.equal((await view())[1], Math.round(whole / 4));
  await canvas.press('ArrowRight');
  await page.click('[data-scroll="1"]');
  // Zooming keeps the middle still: the view starts at 3/8, then moves by 1/4 and 1/2 of 1/4.
  const start = whole * (3 / 8 + 1 / 16 + 1 / 8);
  assert.ok(Math.abs((await view())[0] - start) <= 1, `${await view()} against ${start}`);
  await canvas.hover();
  await page.keyboard.down('Shift');
  await page.mouse.wheel(0, 100);
  await page.keyboard.up('Shift');
  assert.ok((await view())[0] > start + 1, 'Shift + wheel did not scroll');
  await page.keyboard.down('Control');
  await page.mouse.wheel(0, 400);
  await page.keyboard.up('Control');
  assert.ok((await view())[1] > whole / 4, 'Ctrl + wheel did not zoom out');
  await page.locator('.roll').screenshot({path: path.join(webBuild, 'screenshots', 'zoomed.png')});
  await page.click('[data-zoom="all"]');
  assert.deepEqual(await view(), [0, whole]);
});

test('with the XG parts included, the track list names them', async (t) => {
  const file = generate(temporaryFolder(t), 'xg.evt', ['--seed', '46', '--xg', '--seconds', '20']);
  const page = await openPage(t);
  await page.check('input[data-setting="xgParts"]');
  await page.setInputFiles('#files', file);
  await page.waitForSelector('.card[data-state="done"]');
  const tracks = await page.textContent('.info');
  assert.match(tracks, /XG Part \d+ \(channel \d+\)/);
  assert.doesNotMatch(tracks, /not converted/);
});

// The page shows what koralux-cli --info says about a file; the amber note with any doubts.
test('a file converted with doubts gets the amber note; axe-core finds no violation', async (t) => {
  const bare = path.join(temporaryFolder(t), 'bare.evt');
  writeFileSync(bare, new Uint8Array(256));
  const [described] = JSON.parse(
      execFileSync(path.join(nativeBin, 'koralux-cli'), ['--info', '--json', bare]).toString());
  const page = await openPage(t);
  await page.setInputFiles('#files', bare);
  await page.waitForSelector('.card[data-state="done"]');
  assert.deepEqual(
      await page.locator('.card .findings li').allTextContents(),
      (described.findings ?? []).map((finding) => finding.text));

  // The note as the page draws it, for findings of every kind of text.
  const {outputFiles: [describe]} = await esbuild.build({
    entryPoints: [path.join(sourceDir, 'web/src/describe.js')],
    bundle: true,
    format: 'iife',
    globalName: 'describe',
    write: false,
  });
  await page.addScriptTag({content: describe.text});
  const findings = [
    {code: 'cut-short', text: 'the file ends inside a channel message', offset: 1234},
    {code: 'unread', text: 'the bytes from 1024 to 1535 look unread (all F6)', offset: 1024},
  ];
  await page.evaluate(
      (f) => describe.showFindings(document.querySelector('.card'), {findings: f}), findings);
  assert.equal(await page.textContent('.card .findings-title'), 'Converted, but…');
  assert.deepEqual(
      await page.locator('.card .findings li').allTextContents(), findings.map((f) => f.text));
  assert.equal(
      await page.$eval('.card', (card) => getComputedStyle(card).borderLeftColor),
      'rgb(184, 110, 0)');

  await page.click('.own summary');
  const axe = createRequire(import.meta.url).resolve('axe-core/axe.min.js');
  await page.addScriptTag({path: axe});
  const violations = await page.evaluate(async () => (await window.axe.run(document)).violations);
  assert.deepEqual(
      violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(', ')}`), []);
});

test('the README quotes the site\'s size as the build measured it', () => {
  const sizes = JSON.parse(readFileSync(path.join(webBuild, 'site-sizes.json')));
  const readme = readFileSync(path.join(sourceDir, 'README.md'), 'utf8');
  for (const [pattern, {bytes, gzipped}] of [
           [/site\/` \(about (\d+) KB, (\d+) KB compressed/, sizes],
           [/first "Play" adds `sound\/`,\s+about (\d+) KB, (\d+) KB compressed/, sizes.firstPlay],
  ]) {
    const [, total, compressed] = readme.match(pattern);
    // "about": within 5 % of the measured size.
    for (const [quoted, measured] of [[total, bytes], [compressed, gzipped]])
      assert.ok(
          Math.abs(quoted * 1000 - measured) <= measured * 0.05, `${quoted} KB, ${measured} bytes`);
  }
});
