// The built site in Debian's chromium, served on 127.0.0.1, with every request that leaves the
// page's origin blocked: files picked and dropped, downloads compared with koralux-cli's output,
// a damaged file, the piano roll. Screenshots go to build-web/screenshots/.

import {unzipSync} from 'fflate';
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import {mkdirSync, readFileSync, writeFileSync} from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {serve} from '../serve.mjs';

import {convertNatively, generate, launchChromium, nativeBin, performance, siteDir, temporaryFolder, webBuild} from './helpers.mjs';

const screenshots = path.join(webBuild, 'screenshots');
let server;
let browser;
let origin;
const outside = [];  // requests that tried to leave the origin

before(async () => {
  server = await serve(siteDir);
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await launchChromium();
  mkdirSync(screenshots, {recursive: true});
});

after(async () => {
  await browser?.close();
  server?.close();
});

// A fresh page at the site, ready to convert.
async function openPage(t, viewport = {
  width: 1100,
  height: 900
}) {
  // The service worker's own tests are in offline.test.mjs; here every request is seen.
  const context =
      await browser.newContext({acceptDownloads: true, viewport, serviceWorkers: 'block'});
  t.after(() => context.close());
  await context.route('**/*', (route) => {
    if (new URL(route.request().url()).origin === origin) return route.continue();
    outside.push(route.request().url());
    return route.abort();
  });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  t.after(() => assert.deepEqual(errors, [], 'errors on the page'));
  await page.goto(origin + '/');
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function downloadedBytes(page) {
  const [download] =
      await Promise.all([page.waitForEvent('download'), page.click('#download-all')]);
  return {name: download.suggestedFilename(), bytes: readFileSync(await download.path())};
}

// Notes in a MIDI file as midicsv, an independent reader, counts them: note-ons with a velocity.
function noteCount(midiFile) {
  const csv = execFileSync('midicsv', [midiFile]).toString();
  return csv.split('\n').filter((line) => /Note_on_c, *\d+, *\d+, *[1-9]/.test(line)).length;
}

test(
    'one file picked: the download is koralux-cli\'s file, the piano roll shows its notes',
    async (t) => {
      const folder = temporaryFolder(t);
      const file = generate(
          folder, 'Waltz.evt', ['--seed', '11', '--seconds', '40', '--channels', '1,2,3,4,15']);
      const native = path.join(folder, 'Waltz.native.mid');
      convertNatively(file, ['--key', 'F Sharp Minor', '--time', '3/4'], native);

      const page = await openPage(t);
      await page.selectOption('#key', 'F Sharp Minor');
      await page.selectOption('#numerator', '3');
      await page.setInputFiles('#files', file);
      await page.waitForSelector('.card[data-state="done"]');
      const {name, bytes} = await downloadedBytes(page);
      assert.equal(name, 'Waltz.mid');
      assert.ok(
          bytes.equals(readFileSync(native)), 'the downloaded file differs from koralux-cli\'s');

      const canvas = page.locator('.roll-canvas');
      assert.equal(Number(await canvas.getAttribute('data-notes')), noteCount(native));
      const inked = await canvas.evaluate((c) => {
        const pixels = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        let count = 0;
        for (let i = 0; i < pixels.length; i += 4)
          if (pixels[i] < 200 && pixels[i + 2] > 100) ++count;
        return count;
      });
      assert.ok(inked > 500, `the piano roll is nearly blank (${inked} coloured pixels)`);
      assert.match(
          await page.textContent('.info'),
          /Upper \(channel 4\).*Percussion \(channel 15, moved to channel 10\)/s);
      await page.screenshot({path: path.join(screenshots, 'converted.png'), fullPage: true});
    });

test('three files dropped: one zip with the three MIDI files', async (t) => {
  const folder = temporaryFolder(t);
  // Input name and the name the engine derives for its MIDI file.
  const expected = {
    'first.evt': 'first.mid',
    'SECOND.EVT': 'SECOND.EVT.mid',
    'third.evt': 'third.mid'
  };
  const names = Object.keys(expected);
  const inputs =
      names.map((name, i) => generate(folder, name, ['--seed', String(20 + i), '--seconds', '15']));

  const page = await openPage(t, {width: 390, height: 844});  // a phone's width
  await page.check('input[data-setting="rhythmUnitAbsent"]');
  const files = inputs.map((file) => ({name: path.basename(file), bytes: [...readFileSync(file)]}));
  const transfer = await page.evaluateHandle((list) => {
    const data = new DataTransfer();
    for (const {name, bytes} of list) data.items.add(new File([new Uint8Array(bytes)], name));
    return data;
  }, files);
  await page.dispatchEvent('#drop', 'drop', {dataTransfer: transfer});
  await page.waitForFunction(
      () => document.querySelectorAll('.card[data-state="done"]').length === 3);
  const {name, bytes} = await downloadedBytes(page);
  assert.equal(name, 'midi-files.zip');

  const zipped = unzipSync(new Uint8Array(bytes));
  assert.deepEqual(Object.keys(zipped).sort(), Object.values(expected).sort());
  for (const file of inputs) {
    const native = convertNatively(file, ['--rhythm-unit-absent']).midi;
    const zipName = expected[path.basename(file)];
    assert.ok(Buffer.from(zipped[zipName]).equals(Buffer.from(native)), `${zipName} differs`);
  }
  assert.equal(
      await page.evaluate(() => document.documentElement.scrollWidth), 390,
      'the page is wider than the phone');
  await page.screenshot({path: path.join(screenshots, 'phone.png'), fullPage: true});
});

test('a damaged file: the engine\'s message, no download', async (t) => {
  const folder = temporaryFolder(t);
  const damaged = path.join(folder, 'broken.evt');
  writeFileSync(damaged, performance('90 3C 64  F3 0A  F0 43 10 4C'));
  const message = convertNatively(damaged, []).message.replace(`${folder}/`, '');

  const page = await openPage(t);
  await page.setInputFiles('#files', damaged);
  await page.waitForSelector('.card[data-state="failed"]');
  assert.equal(await page.textContent('.card .message'), message);
  assert.ok(await page.isDisabled('#download-all'));
  assert.ok(await page.isHidden('.card .details'));
  await page.screenshot({path: path.join(screenshots, 'failed.png'), fullPage: true});
});

test('a disk image dropped: its songs in a folder of the zip, a damaged one named', async (t) => {
  const folder = temporaryFolder(t);
  const image = path.join(folder, 'disk1.img');
  execFileSync('mformat', ['-C', '-i', image, '-f', '720', '::']);
  for (const slot of [0, 1, 2]) {
    const song = generate(folder, `MDR_0${slot}.EVT`, ['--seed', String(30 + slot)]);
    execFileSync('mcopy', ['-i', image, song, '::']);
  }
  // The image cut inside the last song: the others convert, the last is damaged.
  const last = execFileSync('mshowfat', ['-i', image, '::MDR_02.EVT']).toString();
  const cluster = Number(/<(\d+)/.exec(last)[1]);
  const bytes = readFileSync(image).subarray(0, (14 + (cluster - 2) * 2 + 1) * 512);
  writeFileSync(image, bytes);
  const native = spawnSync(
      path.join(nativeBin, 'koralux-cli'), ['-q', image, '--output-dir', path.join(folder, 'out')]);
  const damage = /MDR_02\.EVT: damaged, not converted: .*/.exec(native.stderr.toString())[0];

  const page = await openPage(t);
  const transfer = await page.evaluateHandle((list) => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(list)], 'disk1.img'));
    return data;
  }, [...bytes]);
  await page.dispatchEvent('#drop', 'drop', {dataTransfer: transfer});
  await page.waitForFunction(
      () => document.querySelectorAll('.card[data-state="done"]').length === 2);
  await page.waitForSelector('.card.song[data-state="failed"]');
  assert.equal(
      await page.textContent('.card.song[data-state="failed"] .message'), `disk1.img/${damage}`);
  await page.screenshot({path: path.join(screenshots, 'disk.png'), fullPage: true});
  const {name, bytes: zip} = await downloadedBytes(page);
  assert.equal(name, 'midi-files.zip');
  const zipped = unzipSync(new Uint8Array(zip));
  assert.deepEqual(Object.keys(zipped).sort(), ['disk1/MDR_00.EVT.mid', 'disk1/MDR_01.EVT.mid']);
  for (const song of ['MDR_00.EVT', 'MDR_01.EVT']) {
    const expected = readFileSync(path.join(folder, 'out', 'disk1', `${song}.mid`));
    assert.ok(Buffer.from(zipped[`disk1/${song}.mid`]).equals(expected), `${song} differs`);
  }
});

test('every control has a name and is reached with the Tab key', async (t) => {
  const page = await openPage(t);
  const names = [
    'Key signature', 'Beats per bar', 'Note value of one beat', 'The rhythm unit was not used',
    'Keep the old timing, in which late events drift',
    'Include the XG backing parts and registration changes', 'Choose files…'
  ];
  const reached = [];
  for (let i = 0; i < names.length; ++i) {
    await page.keyboard.press('Tab');
    reached.push(await page.evaluate(
        () => document.activeElement.id || document.activeElement.dataset.setting));
  }
  assert.deepEqual(
      reached,
      ['key', 'numerator', 'denominator', 'rhythmUnitAbsent', 'legacyTiming', 'xgParts', 'files']);
  for (const name of names)
    assert.equal(await page.getByLabel(name, {exact: true}).count(), 1, name);
});

test('no request left the page\'s origin', () => {
  assert.deepEqual(outside, []);
});
