// Converts in the background, so that the page never freezes: one message per file in, the
// engine's reports and then the result (or the engine's message) out. A disk image comes in
// as a message of kind "disk" and goes out as its songs, each then converted as a file is.

import {Engine} from './engine.js';
import createKoralux from './koralux.js';
import {readMidi} from './piano-roll.js';

const loading = Engine.load(createKoralux);
loading.then(
    (engine) => postMessage({type: 'ready', keys: engine.keys()}),
    (error) => postMessage({type: 'broken', message: String(error?.message ?? error)}),
);

onmessage = async ({data: {kind, id, name, bytes, settings}}) => {
  const engine = await loading;
  const input = new Uint8Array(bytes);
  if (kind === 'disk') {
    const read = engine.readDisk(name, input);
    if (!read.ok) {
      postMessage({id, type: 'failed', message: read.message});
      return;
    }
    postMessage({id, type: 'disk', disk: read.disk}, read.disk.songs.map((s) => s.bytes.buffer));
    return;
  }
  const described = engine.describe(name, input, settings);
  if (!described.ok) {
    postMessage({id, type: 'failed', message: described.message});
    return;
  }
  const started = performance.now();
  const converted = engine.convert(
      name,
      input,
      settings,
      (kind, text, number) => postMessage({id, type: 'report', kind, text, number}),
  );
  const milliseconds = performance.now() - started;
  if (!converted.ok) {
    postMessage({id, type: 'failed', message: converted.message});
    return;
  }
  // The picture's notes are read back from the MIDI file here too, away from the page.
  const roll = readMidi(converted.midi);
  const midi = converted.midi.buffer;
  postMessage(
      {
        id,
        type: 'done',
        outputName: engine.outputName(name),
        info: described.info,
        summary: converted.summary,
        midi,
        roll,
        milliseconds
      },
      [midi, ...roll.tracks.map((track) => track.notes.buffer)],
  );
};
