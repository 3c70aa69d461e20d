// The page: gathers the settings (and keeps them for the next visit), hands each dropped or
// chosen file to the converter in the worker, shows what each file holds and a picture of the
// converted file, and offers the MIDI files for download (several at once as one zip). A
// floppy-disk image becomes its songs, shown under it and zipped into a folder named after it.
// A converted file can be heard (one at a time) and saved as audio. A service worker keeps the
// site for use without a network.

import {unzipSync, zipSync} from 'fflate';

import {describeFile, showFindings} from './describe.js';
import {showPianoRoll, songClock} from './piano-roll.js';

const $ = (selector, root = document) => root.querySelector(selector);
// From a file:// address no module worker starts; on-disk.js says so on the page.
const worker = location.protocol === 'file:' ?
    null :
    new Worker(new URL('./worker.js', import.meta.url), {type: 'module'});

let keys = [];
// The files on the page: {file, card, job, result, url, own}; a disk image's entry also has its
// songs, which follow it here, each with its bytes and its disk as `parent`.
let batch = [];
let nextJob = 1;

// ---- Offline ------------------------------------------------------------------------------

// Browsers offer service workers to pages served over https:// or from this machine only; the
// footer promises offline use only where it was set up.
const noOffline = () => $('#offline-note')?.remove();
if ('serviceWorker' in navigator && /^https?:$/.test(location.protocol)) {
  const hadOne = Boolean(navigator.serviceWorker.controller);
  navigator.serviceWorker.register('service-worker.js').catch(noOffline);
  // A new version took over: the page shown is the old one until it is reloaded.
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (hadOne) $('#update').hidden = false;
  });
  $('#reload').addEventListener('click', () => location.reload());
} else {
  noOffline();
}

// ---- Settings -----------------------------------------------------------------------------

const stored = 'koralux-settings';

// The page's settings, with a file's own key and time signature (`own`) in their place.
function currentSettings(own = {}) {
  const keyText = own.key || $('#key').value;
  const key = keys.find((k) => k.text === keyText) ?? {sharpsFlats: 0, minor: 0};
  const settings = {
    keySharpsFlats: key.sharpsFlats,
    keyMinor: key.minor,
    timeNumerator: Number(own.numerator || $('#numerator').value),
    timeDenominator: Number(own.denominator || $('#denominator').value),
  };
  // Every check box names the engine's setting it sets.
  for (const box of document.querySelectorAll('input[data-setting]')) {
    settings[box.dataset.setting] = box.checked;
  }
  return settings;
}

function saveSettings() {
  const flags = {};
  for (const box of document.querySelectorAll('input[data-setting]'))
    flags[box.dataset.setting] = box.checked;
  const settings = {
    key: $('#key').value,
    numerator: $('#numerator').value,
    denominator: $('#denominator').value,
    flags
  };
  try {
    localStorage.setItem(stored, JSON.stringify(settings));
  } catch {
    // Storage refused (a private window, a full disk): the settings last for this visit only.
  }
}

// The settings of the last visit; the key once the engine has named the keys.
function restoreSettings(withKey) {
  let settings;
  try {
    settings = JSON.parse(localStorage.getItem(stored) ?? 'null');
  } catch {
    return;
  }
  if (!settings) return;
  const choose = (select, value) => {
    if ([...select.options].some((option) => option.value === value)) select.value = value;
  };
  if (withKey) return choose($('#key'), settings.key);
  choose($('#numerator'), settings.numerator);
  choose($('#denominator'), settings.denominator);
  for (const box of document.querySelectorAll('input[data-setting]'))
    box.checked = settings.flags?.[box.dataset.setting] === true;
}
restoreSettings(false);

$('#settings').addEventListener('change', () => {
  saveSettings();
  // A disk read already is converted again as its songs.
  batch.forEach((entry) => entry.songs || entry.damage || convert(entry));
});
$('#settings').addEventListener('submit', (event) => event.preventDefault());

// ---- The converter ------------------------------------------------------------------------

if (worker) {
  worker.onmessage = ({data}) => {
    if (data.type === 'ready') return becomeReady(data.keys);
    if (data.type === 'broken') {
      $('#engine-state').textContent =
          `The converter could not start in this browser: ${data.message}`;
      return;
    }
    const entry = batch.find((e) => e.job === data.id);
    if (!entry) return;  // a file removed, or converted again since
    if (data.type === 'report')
      showReport(entry, data);
    else if (data.type === 'failed')
      showFailure(entry, data.message);
    else if (data.type === 'done')
      showResult(entry, data);
    else if (data.type === 'disk')
      showDisk(entry, data.disk);
  };
  worker.onerror = (event) => {
    $('#engine-state').textContent =
        `The converter could not start in this browser: ${event.message}`;
  };
}

function becomeReady(keyRows) {
  keys = keyRows;
  const select = $('#key');
  select.replaceChildren(...keys.map((k) => new Option(k.text)));
  restoreSettings(true);
  select.disabled = false;
  $('#files').disabled = false;
  $('#engine-state').textContent = 'Ready.';
  document.body.dataset.ready = 'true';
  document.body.dataset.readyAt = performance.now().toFixed(0);  // milliseconds after navigation
}

// ---- Files in -----------------------------------------------------------------------------

$('#files').addEventListener('change', (event) => {
  addFiles([...event.target.files]);
  event.target.value = '';
});

const drop = $('#drop');
for (const type of ['dragenter', 'dragover']) {
  drop.addEventListener(type, (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
}
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  if (!$('#files').disabled) addFiles([...event.dataTransfer.files]);
});
// A file dropped beside the drop zone must not make the browser leave the page.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => event.preventDefault());

// New files join the list below the ones already there.
function addFiles(files) {
  for (const file of files) {
    const entry = {file, name: file.name, card: newCard(file.name), own: {}};
    batch.push(entry);
    $('#file-list').append(entry.card);
    listen(entry);
    convert(entry);
  }
  $('#results').hidden = batch.length === 0;
}

// The card's own controls: remove it, or give it a key and time of its own.
function listen(entry) {
  $('.remove', entry.card).addEventListener('click', () => remove([entry]));
  $('.own', entry.card).addEventListener('change', (event) => {
    entry.own[event.target.className.replace('own-', '')] = event.target.value;
    convert(entry);
  });
}

// Removes `entries`, a disk's songs with it.
function remove(entries) {
  const going = batch.filter(
      (entry) => entries.includes(entry) || (entry.parent && entries.includes(entry.parent)));
  for (const entry of going) {
    if (entry === playing) stop();
    if (entry.url) URL.revokeObjectURL(entry.url);
    entry.card.remove();
  }
  batch = batch.filter((entry) => !going.includes(entry));
  $('#results').hidden = batch.length === 0;
  if (batch.length === 0) $('#files').focus();
  updateBatch();
}
$('#clear').addEventListener('click', () => remove([...batch]));

const sectorImage = /\.(img|ima|dsk|vfd|flp)$/i;

// Converts `entry` with the settings in force now; an answer for an earlier job is ignored. A
// disk image is read again, its songs then shown and converted anew.
function convert(entry) {
  const {name, card} = entry;
  if (entry === playing) stop();
  if (entry.url) URL.revokeObjectURL(entry.url);
  if (entry.songs) remove(entry.songs.filter((song) => batch.includes(song)));
  entry.songs = undefined;
  entry.url = undefined;
  entry.result = undefined;
  entry.roll = undefined;
  entry.job = nextJob++;
  card.dataset.state = 'waiting';
  $('.status', card).textContent = 'Waiting…';
  Object.assign($('.progress', card), {hidden: false, value: 0});
  $('.message', card).hidden = true;
  showFindings(card, {});
  $('.details', card).hidden = true;
  updateBatch();
  if (entry.damage) {
    showFailure(entry, entry.damage);
    return;
  }
  const job = entry.job;
  const settings = currentSettings(entry.own);
  if (entry.parent) {
    // A song keeps its bytes for the next conversion: the worker is handed a copy.
    const bytes = entry.bytes.slice().buffer;
    worker.postMessage({id: job, name, bytes, settings}, [bytes]);
    return;
  }
  if (/\.(hfe|scp)$/i.test(name)) {
    showFailure(
        entry,
        `${name}: is a bitstream image of a disk's tracks, which is not read; ` +
            'make a sector image (.img) of the disk from it first');
    return;
  }
  const disk = sectorImage.test(name) || /\.imz$/i.test(name);
  if (!disk && !/\.evt$/i.test(name)) {
    showFailure(entry, `${name} is not an organ performance file: those end in .evt.`);
    return;
  }
  entry.file.arrayBuffer().then(
      (bytes) => {
        if (!disk) return worker.postMessage({id: job, name, bytes, settings}, [bytes]);
        const image = /\.imz$/i.test(name) ? unzippedImage(entry, bytes) : bytes;
        if (image) worker.postMessage({kind: 'disk', id: job, name, bytes: image}, [image]);
      },
      (error) =>
          showFailure(entry, `${name}: the browser could not read the file (${error.message}).`),
  );
}

// The one disk image in a zip (.imz), or nothing when the zip holds none or several.
function unzippedImage(entry, bytes) {
  try {
    const inside =
        Object.entries(unzipSync(new Uint8Array(bytes))).filter(([name]) => !name.endsWith('/'));
    if (inside.length === 1) return inside[0][1].slice().buffer;
    showFailure(
        entry,
        `${entry.name}: holds ${inside.length} files; ` +
            'a zipped disk image (.imz) holds one');
  } catch (error) {
    showFailure(entry, `${entry.name}: cannot be read as a zip file (.imz): ${error.message}`);
  }
  return null;
}

// The songs of a disk read in the worker: each gets a card under the disk's and is converted as
// a file is, named "disk1/MDR_00.EVT" after the image; a damaged one says why.
function showDisk(entry, disk) {
  const folder = entry.name.replace(/\.[^.]*$/, '');
  const damaged = disk.songs.filter((song) => song.damage).length;
  entry.card.dataset.state = 'disk';
  $('.progress', entry.card).hidden = true;
  $('.status', entry.card).textContent =
      `Disk image: ${disk.songs.length} ${disk.songs.length === 1 ? 'song' : 'songs'}` +
      (damaged > 0 ? `, ${damaged} damaged` : '') +
      `; ${disk.registrationFiles.length + disk.otherFiles.length} other files not converted.`;
  const notes = [disk.fatNote, ...disk.problems].filter(Boolean);
  if (notes.length > 0) {
    $('.message', entry.card).textContent = notes.join('\n');
    $('.message', entry.card).hidden = false;
  }
  entry.songs = disk.songs.map((song) => {
    const name = `${folder}/${song.path}`;
    return {
      name,
      card: newCard(name),
      own: {},
      parent: entry,
      bytes: song.bytes,
      warnings: song.warnings
    };
  });
  let after = entry.card;
  for (const song of entry.songs) {
    song.card.classList.add('song');
    after.after(song.card);
    after = song.card;
    listen(song);
  }
  batch.splice(batch.indexOf(entry) + 1, 0, ...entry.songs);
  disk.songs.forEach((song, i) => {
    if (song.damage)
      entry.songs[i].damage = `${entry.name}/${song.path}: damaged, not converted: ${song.damage}`;
    convert(entry.songs[i]);
  });
  updateBatch();
}

function newCard(name) {
  const card = $('#file-card').content.firstElementChild.cloneNode(true);
  $('.name', card).textContent = name;
  $('.remove', card).setAttribute('aria-label', `Remove ${name}`);
  const fill = (select, options) => select.append(...options.map((text) => new Option(text)));
  fill($('.own-key', card), keys.map((k) => k.text));
  fill($('.own-numerator', card), [...$('#numerator').options].map((o) => o.value));
  fill($('.own-denominator', card), [...$('#denominator').options].map((o) => o.value));
  return card;
}

// ---- Results out --------------------------------------------------------------------------

function showReport(entry, {kind, text, number}) {
  const progress = $('.progress', entry.card);
  if (kind === 'progressBegin') {
    progress.max = Math.max(number, 1);
    progress.value = 0;
  } else if (kind === 'partDone') {
    progress.value += Math.max(number, 1);
  } else if (kind === 'status') {
    // "Status: Transcribing Pedal Notes" reads well enough as "Transcribing Pedal Notes".
    $('.status', entry.card).textContent = text.replace(/^Status: /, '');
  }
}

function showFailure(entry, message) {
  entry.result = {ok: false};
  const card = entry.card;
  card.dataset.state = 'failed';
  $('.status', card).textContent = 'Not converted.';
  $('.progress', card).hidden = true;
  const box = $('.message', card);
  box.textContent = message;
  box.hidden = false;
  updateBatch();
}

function showResult(entry, {outputName, info, midi, roll, milliseconds}) {
  const bytes = new Uint8Array(midi);
  entry.result = {ok: true, outputName, bytes};
  entry.clock = songClock(roll);
  entry.seconds = 0;
  entry.length = entry.clock.seconds(roll.durationTicks);
  entry.url = URL.createObjectURL(new Blob([bytes], {type: 'audio/midi'}));
  const card = entry.card;
  card.dataset.state = 'done';
  card.dataset.milliseconds = milliseconds.toFixed(1);
  $('.status', card).textContent = `Converted: ${outputName}`;
  $('.progress', card).hidden = true;
  const details = $('.details', card);
  details.hidden = false;
  $('.info', card).replaceChildren(...describeFile(info));
  showFindings(card, info);
  if (entry.warnings?.length > 0) {
    $('.message', card).textContent = entry.warnings.map((w) => `Warning: ${w}`).join('\n');
    $('.message', card).hidden = false;
  }
  const link = $('.download', card);
  link.href = entry.url;
  link.download = outputName;
  link.textContent = `Download ${outputName}`;
  entry.roll = showPianoRoll($('.roll', card), roll, info, outputName, (tick) => seek(entry, tick));
  $('.play', card).onclick = () => (entry === playing && !paused ? pause() : play(entry));
  $('.audio', card).onclick = () => saveAudio(entry);
  updateBatch();
}

// The pictures follow the page's width (a phone turned, a window resized).
let redrawing;
window.addEventListener('resize', () => {
  clearTimeout(redrawing);
  redrawing = setTimeout(() => batch.forEach((entry) => entry.roll?.draw()), 150);
});

// ---- Listening ----------------------------------------------------------------------------

// The synthesizer and its sound font, loaded at the first Play; one file plays at a time, from
// its card's position (`seconds`), which the cursor shows. The player's commands run one after
// another, each seeing the page's wish (`playing`, `paused`) as it is when its turn comes.
let player;
let playing;  // the entry whose song the player holds
let paused = true;
let commands = Promise.resolve();
const command = (action) => {
  commands = commands.then(() => player?.then(action)).catch(() => {});
};

const say = (entry, text) => ($('.listen-state', entry.card).textContent = text);

function play(entry) {
  if (playing && playing !== entry) pause();
  playing = entry;
  paused = false;
  $('.play', entry.card).textContent = 'Pause';
  if (!player) {
    say(entry, 'Loading the sound font…');
    // Made at the press itself, which phones require before they let a page make sound.
    const context = new AudioContext();
    context.resume();
    player = import('./sound/player.js').then((module) => module.createPlayer(context, ended));
    player.then(() => say(entry, ''), (error) => {
      player = undefined;  // a later press tries again
      context.close();
      say(entry, `The song cannot be played in this browser: ${error.message}`);
      if (playing === entry) stop();
    });
  }
  command(async (synth) => {
    if (playing !== entry || paused) return;
    if (entry.seconds >= entry.length) entry.seconds = 0;
    try {
      await synth.play(entry.result.bytes, entry.seconds);
    } catch (error) {
      say(entry, `The song cannot be played: ${error.message}`);
      if (playing === entry) stop();
      return;
    }
    if (playing !== entry || paused) return;  // the pause waits its turn
    entry.card.dataset.playing = 'true';
    const follow = () => {
      if (playing !== entry || paused) return;
      entry.seconds = synth.seconds;
      entry.roll.cursor(entry.clock.tick(entry.seconds));
      requestAnimationFrame(follow);
    };
    follow();
  });
}

function pause() {
  paused = true;
  command((synth) => synth.pause());
  if (!playing) return;
  $('.play', playing.card).textContent = 'Play';
  delete playing.card.dataset.playing;
}

// The song played to its end: the next Play starts it again.
function ended() {
  if (!playing) return;
  playing.seconds = 0;
  playing.roll?.cursor(undefined);
  pause();
}

function stop() {
  pause();
  playing = undefined;
}

function seek(entry, tick) {
  entry.seconds = entry.clock.seconds(tick);
  entry.roll.cursor(tick);
  if (entry === playing && !paused) command((synth) => synth.seek(entry.seconds));
}

async function saveAudio(entry) {
  const button = $('.audio', entry.card);
  const {outputName, bytes} = entry.result;
  const name = outputName.replace(/\.mid$/i, '') + '.wav';
  button.disabled = true;
  say(entry, `Making ${name}…`);
  try {
    const {renderWav} = await import('./sound/player.js');
    const url = URL.createObjectURL(await renderWav(bytes, entry.length));
    save(url, name);
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    say(entry, '');
  } catch (error) {
    say(entry, `The audio could not be made in this browser: ${error.message}`);
  }
  button.disabled = false;
}

// ---- The batch ----------------------------------------------------------------------------

// The batch's button: the one MIDI file, or every converted file in one zip.
function updateBatch() {
  const button = $('#download-all');
  const entries = batch.filter((entry) => !entry.songs);  // a disk read counts as its songs
  const converted = entries.filter((entry) => entry.result?.ok);
  const pending = entries.filter((entry) => !entry.result).length;
  const failed = entries.length - pending - converted.length;
  let title =
      pending > 0 ? `Converting ${entries.length - pending + 1} of ${entries.length}…` : 'Done';
  if (pending === 0 && failed > 0) {
    title = converted.length > 0 ?
        `${converted.length} converted, ${failed} not converted` :
        `${failed === 1 ? 'The file was' : `${failed} files were`} not converted`;
  }
  $('#batch-title').textContent = title;
  button.disabled = pending > 0 || converted.length === 0;
  button.textContent = converted.length > 1 && pending === 0 ?
      `Download all ${converted.length} as a zip` :
      converted.length === 1 && pending === 0 ? `Download ${converted[0].result.outputName}` :
                                                'Download';
}

$('#download-all').addEventListener('click', () => {
  const converted = batch.filter((entry) => entry.result?.ok);
  if (converted.length === 1) {
    save(converted[0].url, converted[0].result.outputName);
    return;
  }
  const files = {};
  for (const {result} of converted) files[uniqueName(files, result.outputName)] = result.bytes;
  const zip = zipSync(files, {level: 6});
  const url = URL.createObjectURL(new Blob([zip], {type: 'application/zip'}));
  save(url, 'midi-files.zip');
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
});

// Two files of the same name (from different folders) must not overwrite each other.
function uniqueName(taken, name) {
  if (!(name in taken)) return name;
  const dot = name.lastIndexOf('.');
  for (let n = 2;; ++n) {
    const candidate = `${name.slice(0, dot)} (${n})${name.slice(dot)}`;
    if (!(candidate in taken)) return candidate;
  }
}

function save(url, name) {
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
}
