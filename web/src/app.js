// The page: gathers the settings, hands each dropped or chosen file to the converter in the
// worker, shows what each file holds and a picture of the converted file, and offers the MIDI
// files for download (several at once as one zip). A floppy-disk image becomes its songs, shown
// under it and zipped into a folder named after it.

import {unzipSync, zipSync} from 'fflate';

import {describeFile} from './describe.js';
import {drawPianoRoll} from './piano-roll.js';

const $ = (selector, root = document) => root.querySelector(selector);
const worker = new Worker(new URL('./worker.js', import.meta.url), {type: 'module'});

let keys = [];
let batch = [];  // the files on the page: {id, name, card, result}; a disk also has songs
let files = [];  // the files the batch came from, converted again when a setting changes
let nextId = 1;

// ---- Settings -----------------------------------------------------------------------------

function currentSettings() {
  const key = keys[$('#key').selectedIndex] ?? {sharpsFlats: 0, minor: 0};
  const settings = {
    keySharpsFlats: key.sharpsFlats,
    keyMinor: key.minor,
    timeNumerator: Number($('#numerator').value),
    timeDenominator: Number($('#denominator').value),
  };
  // Every check box names the engine's setting it sets.
  for (const box of document.querySelectorAll('input[data-setting]')) {
    settings[box.dataset.setting] = box.checked;
  }
  return settings;
}

$('#settings').addEventListener('change', () => {
  if (batch.length > 0) convertAll(files);
});
$('#settings').addEventListener('submit', (event) => event.preventDefault());

// ---- The converter ------------------------------------------------------------------------

worker.onmessage = ({data}) => {
  if (data.type === 'ready') return becomeReady(data.keys);
  if (data.type === 'broken') {
    $('#engine-state').textContent =
        `The converter could not start in this browser: ${data.message}`;
    return;
  }
  const entry = batch.find((e) => e.id === data.id);
  if (!entry) return;  // a file of an earlier batch
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

function becomeReady(keyRows) {
  keys = keyRows;
  const select = $('#key');
  select.replaceChildren(...keys.map((k) => new Option(k.text)));
  select.disabled = false;
  $('#files').disabled = false;
  $('#engine-state').textContent = 'Ready.';
  document.body.dataset.ready = 'true';
  document.body.dataset.readyAt = performance.now().toFixed(0);  // milliseconds after navigation
}

// ---- Files in -----------------------------------------------------------------------------

$('#files').addEventListener('change', (event) => {
  convertAll([...event.target.files]);
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
  if (!$('#files').disabled) convertAll([...event.dataTransfer.files]);
});
// A file dropped beside the drop zone must not make the browser leave the page.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => event.preventDefault());

const sectorImage = /\.(img|ima|dsk|vfd|flp)$/i;

function convertAll(chosen) {
  for (const entry of batch)
    if (entry.url) URL.revokeObjectURL(entry.url);
  files = chosen;
  const settings = currentSettings();
  batch = files.map((file) => ({id: nextId++, name: file.name, card: newCard(file.name)}));
  $('#file-list').replaceChildren(...batch.map((entry) => entry.card));
  $('#results').hidden = batch.length === 0;
  updateBatch();
  batch.forEach((entry, i) => {
    const name = entry.name;
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
    files[i].arrayBuffer().then(
        (bytes) => {
          if (!disk) return worker.postMessage({id: entry.id, name, bytes, settings}, [bytes]);
          entry.settings = settings;
          const image = /\.imz$/i.test(name) ? unzippedImage(entry, bytes) : bytes;
          if (image) worker.postMessage({kind: 'disk', id: entry.id, name, bytes: image}, [image]);
        },
        (error) =>
            showFailure(entry, `${name}: the browser could not read the file (${error.message}).`),
    );
  });
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
  entry.songs = disk.songs.map((song) => ({
                                 id: nextId++,
                                 name: `${folder}/${song.path}`,
                                 card: newCard(`${folder}/${song.path}`),
                                 warnings: song.warnings,
                               }));
  let after = entry.card;
  for (const song of entry.songs) {
    song.card.classList.add('song');
    after.after(song.card);
    after = song.card;
  }
  batch.splice(batch.indexOf(entry) + 1, 0, ...entry.songs);
  disk.songs.forEach((song, i) => {
    const songEntry = entry.songs[i];
    if (song.damage) {
      showFailure(songEntry, `${entry.name}/${song.path}: damaged, not converted: ${song.damage}`);
      return;
    }
    const bytes = song.bytes.buffer;
    worker.postMessage(
        {id: songEntry.id, name: songEntry.name, bytes, settings: entry.settings}, [bytes]);
  });
  updateBatch();
}

function newCard(name) {
  const card = $('#file-card').content.firstElementChild.cloneNode(true);
  $('.name', card).textContent = name;
  $('.status', card).textContent = 'Waiting…';
  card.dataset.state = 'waiting';
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
  entry.url = URL.createObjectURL(new Blob([bytes], {type: 'audio/midi'}));
  const card = entry.card;
  card.dataset.state = 'done';
  card.dataset.milliseconds = milliseconds.toFixed(1);
  $('.status', card).textContent = `Converted: ${outputName}`;
  $('.progress', card).hidden = true;
  const details = $('.details', card);
  details.hidden = false;
  $('.info', card).replaceChildren(...describeFile(info));
  if (entry.warnings?.length > 0) {
    $('.message', card).textContent = entry.warnings.map((w) => `Warning: ${w}`).join('\n');
    $('.message', card).hidden = false;
  }
  const link = $('.download', card);
  link.href = entry.url;
  link.download = outputName;
  link.textContent = `Download ${outputName}`;
  entry.draw = () =>
      drawPianoRoll($('.roll-canvas', card), $('.legend', card), roll, info, outputName);
  entry.draw();
  updateBatch();
}

// The pictures follow the page's width (a phone turned, a window resized).
let redrawing;
window.addEventListener('resize', () => {
  clearTimeout(redrawing);
  redrawing = setTimeout(() => batch.forEach((entry) => entry.draw?.()), 150);
});

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
