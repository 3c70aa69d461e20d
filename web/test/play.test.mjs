// Listening on the page: Play sounds and moves the cursor, one song at a time, a click on the
// picture seeks, the song's end resets the button; the sound font comes from the site once, at
// the first Play, and is kept for use without a network; "Download audio" gives a WAV file.

import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {readFileSync} from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {serve} from '../serve.mjs';

import {generate, launchChromium, nativeBin, siteDir, temporaryFolder} from './helpers.mjs';

let browser;
let server;
let origin;
const requests = [];  // the paths the site's server was asked for
before(async () => {
  [browser, server] = await Promise.all([launchChromium(), serve(siteDir)]);
  server.on('request', (request) => requests.push(new URL(request.url, 'http://x').pathname));
  origin = `http://127.0.0.1:${server.address().port}/`;
});
after(() => Promise.all([browser?.close(), server?.close()]));

// Whatever reaches the speakers also feeds an analyser (window.heard); heard() waits for sound.
const listen = () => {
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function(target, ...rest) {
    if (target instanceof AudioDestinationNode && this.context instanceof AudioContext) {
      window.heard ??= new AnalyserNode(this.context, {fftSize: 4096});
      connect.call(this, window.heard, rest[0] ?? 0);
    }
    return connect.call(this, target, ...rest);
  };
};
const heard = (page) => page.waitForFunction(() => {
  const samples = new Float32Array(window.heard?.fftSize ?? 1);
  window.heard?.getFloatTimeDomainData(samples);
  return Math.sqrt(samples.reduce((sum, s) => sum + s * s, 0) / samples.length) > 1e-3;
});

async function openSongs(page, files) {
  await page.goto(origin);
  await page.waitForSelector('body[data-ready="true"]');
  await page.setInputFiles('#files', files);
  await page.waitForFunction(
      (count) => document.querySelectorAll('.card[data-state="done"]').length === count,
      files.length);
}

const cursorAt = (card) => card.locator('.roll-canvas').getAttribute('data-cursor').then(Number);
const fonts = () => requests.filter((file) => /\.sf[23]$/.test(file));

test('Play: sound, a moving cursor, one song at a time, seeking, and offline after', async (t) => {
  const folder = temporaryFolder(t);
  const songs = [31, 32].map(
      (seed) => generate(folder, `s${seed}.evt`, ['--seed', `${seed}`, '--seconds', '12']));
  const context = await browser.newContext();
  t.after(() => context.close());
  const foreign = [];
  context.on(
      'request', (request) => request.url().startsWith(origin) || foreign.push(request.url()));
  await context.addInitScript(listen);
  const page = await context.newPage();
  await openSongs(page, songs);
  await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
  assert.deepEqual(fonts(), [], 'the sound font was fetched before Play');

  const [first, second] = [1, 2].map((n) => page.locator(`.card:nth-child(${n})`));
  await first.locator('.play').click();
  await page.waitForSelector('.card:nth-child(1)[data-playing="true"]');
  await heard(page);
  const early = await cursorAt(first);
  await page.waitForFunction(
      (tick) => Number(document.querySelector('.roll-canvas').dataset.cursor) > tick + 100, early);

  await second.locator('.play').click();  // the first song stops
  await page.waitForSelector('.card:nth-child(2)[data-playing="true"]');
  assert.equal(await first.locator('.play').textContent(), 'Play');

  // A click near the end seeks there; the song ends soon after and the button says Play again.
  const canvas = second.locator('.roll-canvas');
  const box = await canvas.boundingBox();
  const ticks = Number((await canvas.getAttribute('data-view')).split(' ')[1]);
  await canvas.click({position: {x: box.width * 0.9, y: box.height / 2}});
  assert.ok(await cursorAt(second) >= ticks * 0.85, `${await cursorAt(second)} of ${ticks}`);
  await page.waitForFunction(
      () => document.querySelector('.card:nth-child(2) .play').textContent === 'Play', undefined,
      {timeout: 10_000});
  assert.deepEqual(fonts(), ['/sound/TimGM6mb.sf3']);

  await context.setOffline(true);
  await page.reload();
  await openSongs(page, songs.slice(0, 1));
  await first.locator('.play').click();
  await heard(page);
  assert.deepEqual(fonts(), ['/sound/TimGM6mb.sf3'], 'the sound font was fetched again');
  assert.deepEqual(foreign, []);
});

test('Download audio: a 44.1 kHz stereo 16-bit WAV file as long as the song', async (t) => {
  const song = generate(temporaryFolder(t), 'song.evt', ['--seed', '33', '--seconds', '20']);
  // The native converter's account of the audio's length: the music and up to 4 s of release.
  const info =
      execFileSync(path.join(nativeBin, 'koralux-cli'), ['--info', '--audio', 'wav', song]);
  const [, minutes, seconds] = String(info).match(/Audio length:\s+(\d+):([\d.]+)/);
  const music = Number(minutes) * 60 + Number(seconds);

  const context = await browser.newContext({acceptDownloads: true, serviceWorkers: 'block'});
  t.after(() => context.close());
  const page = await context.newPage();
  await openSongs(page, [song]);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('.card .audio')]);
  assert.equal(download.suggestedFilename(), 'song.wav');
  const wav = readFileSync(await download.path());
  const view = new DataView(wav.buffer, wav.byteOffset, wav.byteLength);
  assert.equal(wav.toString('latin1', 0, 4) + wav.toString('latin1', 8, 12), 'RIFFWAVE');
  assert.deepEqual(
      [view.getUint16(22, true), view.getUint32(24, true), view.getUint16(34, true)],
      [2, 44100, 16]);
  const data = wav.indexOf('data', 36, 'latin1');
  const length = view.getUint32(data + 4, true) / 4 / 44100;
  assert.ok(length >= music - 0.1 && length <= music + 4.1, `${length} s for ${music} s of music`);
  const at = wav.byteOffset + data + 8;
  const samples = new Int16Array(wav.buffer.slice(at, at + view.getUint32(data + 4, true)));
  const loudest = samples.reduce((most, sample) => Math.max(most, Math.abs(sample)), 0);
  assert.ok(loudest > 1000, `the audio is nearly silent (peak ${loudest})`);
});
