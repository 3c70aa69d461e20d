// The WebAssembly interface against the native converter: the same bytes for the same
// performance and settings, the same messages, the observer's reports in order.

import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {readFileSync, writeFileSync} from 'node:fs';
import path from 'node:path';
import {before, test} from 'node:test';

import {Engine} from '../src/engine.js';

import {convertNatively, generate, nativeBin, performance, temporaryFolder, webBuild} from './helpers.mjs';

let engine;
before(async () => {
  const {default: createKoralux} = await import(path.join(webBuild, 'bin/koralux.js'));
  const wasmBinary = readFileSync(path.join(webBuild, 'bin/koralux.wasm'));
  engine = await Engine.load(createKoralux, {wasmBinary});
});

function settingsFor(key, time, flags = {}) {
  const row = engine.keys().find((k) => k.text === key);
  const [timeNumerator, timeDenominator] = time.split('/').map(Number);
  return {
    keySharpsFlats: row.sharpsFlats,
    keyMinor: row.minor,
    timeNumerator,
    timeDenominator,
    ...flags
  };
}

// Performance shapes (koralux-gen options) with the settings each is converted with.
const conversions = [
  {name: 'default', gen: ['--seed', '1'], key: 'C Major', time: '4/4'},
  {
    name: 'five parts, every kind of event',
    gen: ['--seed', '2', '--channels', '1,2,3,4,15', '--every-kind'],
    key: 'F Sharp Minor',
    time: '3/4'
  },
  {
    name: 'mono pedal, loose timing, legacy',
    gen: ['--seed', '3', '--pedal-mono', '--loose-timing'],
    key: 'D Flat Major',
    time: '5/4',
    flags: {legacyTiming: true}
  },
  {
    name: 'rhythm unit absent',
    gen: ['--seed', '4', '--no-rhythm', '--tempo', '97'],
    key: 'B Flat Minor',
    time: '6/8',
    flags: {rhythmUnitAbsent: true}
  },
  {
    name: 'no alignment, channel 16 only',
    gen: ['--seed', '5', '--no-align', '--channels', '16'],
    key: 'G Sharp Minor',
    time: '2/2'
  },
  {
    name: 'loose timing, both flags',
    gen: ['--seed', '6', '--loose-timing', '--seconds', '90'],
    key: 'E Major',
    time: '7/8',
    flags: {rhythmUnitAbsent: true, legacyTiming: true}
  },
  {
    name: 'XG backing and registrations, with the XG option',
    gen: ['--seed', '7', '--xg'],
    key: 'A Minor',
    time: '4/4',
    flags: {xgParts: true}
  },
];

test('conversions give koralux-cli\'s bytes', async (t) => {
  const folder = temporaryFolder(t);
  for (const c of conversions) {
    await t.test(c.name, () => {
      const file = generate(folder, `${c.gen[1]}.evt`, c.gen);
      const cli = ['--key', c.key, '--time', c.time];
      if (c.flags?.legacyTiming) cli.push('--legacy-timing');
      if (c.flags?.rhythmUnitAbsent) cli.push('--rhythm-unit-absent');
      if (c.flags?.xgParts) cli.push('--xg-parts');
      const native = convertNatively(file, cli);
      const web = engine.convert(
          path.basename(file), readFileSync(file), settingsFor(c.key, c.time, c.flags));
      assert.ok(web.ok, web.message);
      assert.equal(Buffer.compare(web.midi, native.midi), 0, `${c.name}: the MIDI bytes differ`);
    });
  }
});

test('the observer\'s reports arrive in order and add up to the summary', () => {
  // Channels 1, 2 and 15 play; channel 16's note counts in the total only.
  const bytes = performance(
      'F3 0A  90 3C 64  91 40 64  9E 24 64  9F 30 64  FE 78  80 3C 40  81 40 40  8E 24 40  8F 30 40');
  const reports = [];
  const result = engine.convert(
      'song.evt', bytes, {}, (kind, text, number) => reports.push([kind, text, number]));
  assert.ok(result.ok, result.message);
  assert.deepEqual(reports, [
    ['progressBegin', '', 4],
    ['status', 'Status: Transcribing Lower Upper Notes', 0],
    ['partDone', '', 1],
    ['status', 'Status: Transcribing Lower Manual Notes', 0],
    ['partDone', '', 1],
    ['status', 'Status: Transcribing Percussion', 0],
    ['partDone', '', 1],
    ['status', 'Status: Finished', 0],
  ]);
  assert.deepEqual(result.summary, {tracks: 4, notesTotal: 4, notesTranscribed: 3});
});

test('describe tells what --info tells', (t) => {
  const folder = temporaryFolder(t);
  const file =
      generate(folder, 'info.evt', ['--seed', '7', '--channels', '1,2,3,4,5,15', '--pedal-mono']);
  for (const [settings, options, untaken] of [[{}, [], [5]], [{xgParts: 1}, ['--xg-parts'], []]]) {
    const {ok, info} = engine.describe(file, readFileSync(file), settings);
    assert.ok(ok);
    assert.deepEqual(info, JSON.parse(spawnJson(file, options))[0]);
    assert.deepEqual(info.untakenChannels, untaken);
  }
});

function spawnJson(file, options) {
  return execFileSync(path.join(nativeBin, 'koralux-cli'), ['--info', '--json', ...options, file])
      .toString();
}

test('failures give the engine\'s message word for word', async (t) => {
  const folder = temporaryFolder(t);
  const damaged = path.join(folder, 'damaged.evt');
  writeFileSync(damaged, performance('90 3C 64  F3 0A  F0 43 10 4C'));
  const native = convertNatively(damaged, []);
  assert.match(native.message, /system-exclusive/);
  for (const answer
           of [engine.convert(damaged, readFileSync(damaged)),
               engine.describe(damaged, readFileSync(damaged)),
  ]) {
    assert.deepEqual(answer, {ok: false, message: native.message});
  }
});

test('settings out of range or unknown are refused by name', () => {
  const bytes = performance('90 3C 64');
  const cases = [
    [{timeNumerator: 0}, 'the setting timeNumerator must be 1 to 255, not 0'],
    [{timeDenominator: 129}, 'the setting timeDenominator must be 1 to 128, not 129'],
    [{keySharpsFlats: -8}, 'the setting keySharpsFlats must be -7 to 7, not -8'],
    [{tempo: 120}, 'there is no setting named tempo'],
  ];
  for (const [settings, message] of cases) {
    assert.deepEqual(engine.convert('a.evt', bytes, settings), {ok: false, message});
  }
});

test('output names and keys come from the engine', () => {
  assert.deepEqual(
      ['song.evt', 'SONG.EVT', 'take 2.evt.evt'].map((n) => engine.outputName(n)),
      ['song.mid', 'SONG.EVT.mid', 'take 2.evt.mid'],
  );
  const keys = engine.keys();
  assert.equal(keys.length, 24);
  assert.deepEqual(keys[0], {text: 'C Major', sharpsFlats: 0, minor: 0});
  assert.deepEqual(keys[23], {text: 'G Sharp Minor', sharpsFlats: 5, minor: 1});
});

test('the songs of a disk image convert as koralux-cli converts them', (t) => {
  const folder = temporaryFolder(t);
  const image = path.join(folder, 'disk.img');
  execFileSync('mformat', ['-C', '-i', image, '-f', '720', '-v', 'ORGAN', '::']);
  for (const slot of [0, 1, 2]) {
    const song = generate(folder, `MDR_0${slot}.EVT`, ['--seed', String(slot + 1)]);
    execFileSync('mcopy', ['-i', image, song, '::']);
  }
  execFileSync('mcopy', ['-i', image, path.join(folder, 'MDR_00.EVT'), '::MDR_00.B00']);
  const {ok, disk, message} = engine.readDisk('disk.img', readFileSync(image));
  assert.ok(ok, message);
  assert.equal(disk.label, 'ORGAN');
  assert.deepEqual(disk.songs.map((s) => [s.path, s.slot, s.damage, s.registration]), [
    ['MDR_00.EVT', 0, null, 'MDR_00.B00'], ['MDR_01.EVT', 1, null, null],
    ['MDR_02.EVT', 2, null, null]
  ]);
  for (const song of disk.songs) {
    const native = convertNatively(
        image, ['--song', String(song.slot)], path.join(folder, `${song.slot}.mid`));
    const web = engine.convert(song.path, song.bytes);
    assert.equal(Buffer.compare(web.midi, native.midi), 0, `${song.path}: the MIDI bytes differ`);
  }
  const refused = engine.readDisk('short.img', new Uint8Array(100));
  assert.equal(
      refused.message,
      'short.img: is not a floppy-disk image: it is shorter than one sector (100 bytes)');
});
