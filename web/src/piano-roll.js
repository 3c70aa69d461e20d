// A picture of the converted file, drawn from the MIDI bytes themselves: one colour per track,
// bar lines from the file's time signature, the alignment point marked. The worker reads the
// file with the midi-file parser (readMidi), the page draws it (drawPianoRoll); the canvas
// records in data-notes how many notes it drew.

import {parseMidi} from 'midi-file';

const colours = ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#8c564b', '#e377c2'];

// The file's tracks as {name, notes}, where notes holds the start tick, the length in ticks and
// the pitch of each note one after another; its time signature and resolution. A note still
// sounding at the end of its track ends there.
export function readMidi(bytes) {
  const file = parseMidi(bytes);
  let signature = [4, 4];
  let end = 1;
  const tracks = file.tracks.map((events) => {
    const track = {name: '', notes: []};
    const sounding = new Map();  // channel and pitch -> start ticks, oldest first
    let tick = 0;
    for (const event of events) {
      tick += event.deltaTime;
      if (event.type === 'trackName' && !track.name) track.name = event.text;
      if (event.type === 'timeSignature') signature = [event.numerator, event.denominator];
      const key = event.channel * 128 + event.noteNumber;
      if (event.type === 'noteOn') {
        sounding.set(key, [...(sounding.get(key) ?? []), tick]);
      } else if (event.type === 'noteOff' && sounding.get(key)?.length) {
        const start = sounding.get(key).shift();
        track.notes.push(start, tick - start, event.noteNumber);
      }
    }
    for (const [key, starts] of sounding) {
      for (const start of starts) track.notes.push(start, tick - start, key % 128);
    }
    end = Math.max(end, tick);
    return {name: track.name, notes: Int32Array.from(track.notes)};
  });
  return {tracks, signature, ppq: file.header.ticksPerBeat, durationTicks: end};
}

export function drawPianoRoll(canvas, legend, midi, info, name) {
  const tracks = midi.tracks.filter((track) => track.notes.length > 0);

  const width = Math.max(canvas.parentElement.clientWidth, 200);
  const height = 200;
  const scale = window.devicePixelRatio || 1;
  canvas.width = Math.round(width * scale);
  canvas.height = Math.round(height * scale);
  canvas.style.height = `${height}px`;
  const g = canvas.getContext('2d');
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.fillStyle = '#fbfbfd';
  g.fillRect(0, 0, width, height);

  const end = Math.max(midi.durationTicks, 1);
  const x = (tick) => (tick / end) * (width - 2) + 1;
  let low = 127;
  let high = 0;
  for (const {notes} of tracks) {
    for (let i = 2; i < notes.length; i += 3) {
      low = Math.min(low, notes[i]);
      high = Math.max(high, notes[i]);
    }
  }
  if (low > high) [low, high] = [60, 72];
  --low;
  ++high;
  const row = (height - 16) / (high - low + 1);
  const y = (pitch) => 14 + (high - pitch) * row;

  // Bar lines (thinned out when bars are narrow), numbered where there is room.
  const signature = midi.signature;
  const bar = (midi.ppq * 4 * signature[0]) / signature[1];
  const barWidth = x(bar) - x(0);
  const step = Math.max(1, 2 ** Math.ceil(Math.log2(8 / barWidth)));
  const labelEvery = step * Math.max(1, 2 ** Math.ceil(Math.log2(28 / (barWidth * step))));
  g.font = '10px system-ui, sans-serif';
  for (let n = 0; n * bar <= end; n += step) {
    g.fillStyle = n % labelEvery === 0 ? '#c4c8d0' : '#e4e6ea';
    g.fillRect(Math.round(x(n * bar)), 12, 1, height - 12);
    if (n % labelEvery === 0) {
      g.fillStyle = '#6b7280';
      g.fillText(String(n + 1), x(n * bar) + 2, 10);
    }
  }

  let drawn = 0;
  tracks.forEach((track, index) => {
    g.fillStyle = colours[index % colours.length];
    const notes = track.notes;
    const tall = Math.max(row - 0.5, 1);
    for (let i = 0; i < notes.length; i += 3) {
      const left = x(notes[i]);
      g.fillRect(left, y(notes[i + 2]), Math.max(x(notes[i] + notes[i + 1]) - left, 1), tall);
      ++drawn;
    }
  });

  // Where the organ's alignment mark landed: at the start of a bar counted in 4/4 (every 1920
  // ticks), the converter's own rule, whatever time signature the bar lines show.
  if (info.alignTick > 0) {
    const at = Math.round(x(info.alignTick - info.songStartOffset));
    g.fillStyle = '#e11d48';
    g.fillRect(at, 12, 2, height - 12);
    g.beginPath();
    g.moveTo(at - 5, 12);
    g.lineTo(at + 6, 12);
    g.lineTo(at + 1, 18);
    g.fill();
  }

  canvas.dataset.notes = String(drawn);
  canvas.setAttribute(
      'aria-label',
      `Piano roll of ${name}: ${drawn} notes in ${tracks.length} tracks, ` +
          `bars of ${signature[0]}/${signature[1]}`);
  legend.replaceChildren(
      ...tracks.map((track, index) => {
        const item = document.createElement('span');
        item.className = 'swatch';
        item.style.setProperty('--colour', colours[index % colours.length]);
        item.textContent = `${track.name || `Track ${index + 1}`} (${track.notes.length / 3})`;
        return item;
      }),
  );
  if (info.alignTick > 0) {
    const mark = document.createElement('span');
    mark.className = 'swatch align';
    mark.textContent = 'alignment mark';
    legend.append(mark);
  }
}
