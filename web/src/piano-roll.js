// A picture of the converted file, drawn from the MIDI bytes themselves: each part in a colour
// of its own that is the same in every file, percussion in a lane below the melodic parts, bar
// lines from the file's time signature, the alignment point marked. It zooms and scrolls along
// time (buttons, the keyboard, Ctrl + wheel or a pinch, Shift + wheel or a drag); while the
// song plays a cursor shows where, and a click on the picture moves there. The worker reads the
// file with the midi-file parser (readMidi), the page draws it (showPianoRoll); the canvas
// records in data-notes how many notes it holds, in data-view the ticks it shows and in
// data-cursor the cursor's tick.

import {parseMidi} from 'midi-file';

// Colours by part (track name and MIDI channel), then by channel for any other track.
const partColours = {
  'Upper 1': '#1f5fa8',
  'Upper 4': '#2b8fd6',
  'Lower 2': '#c0392b',
  'Pedal 3': '#2e7d32',
  'Percussion 10': '#7a5230',
};
const channelColours = [
  '#1f5fa8',
  '#c0392b',
  '#2e7d32',
  '#2b8fd6',
  '#8e44ad',
  '#d35400',
  '#b8860b',
  '#c2185b',
  '#00838f',
  '#616161',
  '#8d6e63',
  '#558b2f',
  '#ad1457',
  '#3949ab',
  '#7a5230',
  '#455a64',
];
const percussionChannel = 10;

export function partColour(name, channel) {
  return partColours[`${name} ${channel}`] ?? channelColours[(channel - 1) & 15];
}

// The file's tracks as {name, channel, notes}, where notes holds the start tick, the length in
// ticks and the pitch of each note one after another and channel is the first note's (1 to 16);
// its time signature, resolution and tempo changes ([tick, microseconds per beat]). A note still
// sounding at the end of its track ends there.
export function readMidi(bytes) {
  const file = parseMidi(bytes);
  let signature = [4, 4];
  const tempos = [];
  let end = 1;
  const tracks = file.tracks.map((events) => {
    const track = {name: '', channel: 0, notes: []};
    const sounding = new Map();  // channel and pitch -> start ticks, oldest first
    let tick = 0;
    for (const event of events) {
      tick += event.deltaTime;
      if (event.type === 'trackName' && !track.name) track.name = event.text;
      if (event.type === 'timeSignature') signature = [event.numerator, event.denominator];
      if (event.type === 'setTempo') tempos.push([tick, event.microsecondsPerBeat]);
      const key = event.channel * 128 + event.noteNumber;
      if (event.type === 'noteOn') {
        if (!track.channel) track.channel = event.channel + 1;
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
    return {name: track.name, channel: track.channel, notes: Int32Array.from(track.notes)};
  });
  tempos.sort((a, b) => a[0] - b[0]);
  return {tracks, signature, tempos, ppq: file.header.ticksPerBeat, durationTicks: end};
}

// The file's clock: the seconds from its start at a tick, and the tick at a time in seconds.
export function songClock({tempos, ppq}) {
  // Each stretch of one tempo: its first tick, the seconds there and the seconds per tick.
  const stretches = [{tick: 0, seconds: 0, perTick: 0.5 / ppq}];  // 120 beats a minute at first
  for (const [tick, microseconds] of tempos) {
    const last = stretches[stretches.length - 1];
    const seconds = last.seconds + (tick - last.tick) * last.perTick;
    if (tick === last.tick) stretches.pop();
    stretches.push({tick, seconds, perTick: microseconds / 1e6 / ppq});
  }
  const find = (key, value) => {
    let at = 0;
    while (at + 1 < stretches.length && stretches[at + 1][key] <= value) ++at;
    return stretches[at];
  };
  return {
    seconds(tick) {
      const at = find('tick', tick);
      return at.seconds + (tick - at.tick) * at.perTick;
    },
    tick(seconds) {
      const at = find('seconds', seconds);
      return at.tick + (seconds - at.seconds) / at.perTick;
    },
  };
}

// Draws `midi` into the card's figure and makes it zoom and scroll; called again (after a new
// conversion) it starts from the whole song. A click (not a drag) calls onSeek with its tick.
// Returns draw() and cursor(tick), which shows the cursor there (none for undefined) and turns
// the picture's page to follow it.
export function showPianoRoll(figure, midi, info, name, onSeek) {
  const canvas = figure.querySelector('canvas');
  const cursor = figure.querySelector('.roll-cursor');
  figure.controls?.abort();
  const controls = new AbortController();
  figure.controls = controls;
  const signal = controls.signal;
  const end = Math.max(midi.durationTicks, 1);
  const shortest = Math.min(end, midi.ppq * 2);
  let view = {start: 0, span: end};
  let cursorTick;

  const placeCursor = () => {
    cursor.hidden = cursorTick === undefined;
    if (cursor.hidden) return delete canvas.dataset.cursor;
    canvas.dataset.cursor = String(Math.round(cursorTick));
    const share = (cursorTick - view.start) / view.span;
    cursor.hidden = share < 0 || share > 1;
    cursor.style.left = `${share * 100}%`;
  };
  const draw = () => {
    drawPianoRoll(canvas, figure.querySelector('figcaption'), midi, info, name, view);
    placeCursor();
  };
  const show = (start, span) => {
    span = Math.min(Math.max(span, shortest), end);
    view = {start: Math.min(Math.max(start, 0), end - span), span};
    draw();
  };
  // Zooms by `factor` (above 1: closer) keeping the tick under `at` (0 to 1 of the width) still.
  const zoom = (factor, at = 0.5) => {
    const span = Math.min(Math.max(view.span / factor, shortest), end);
    show(view.start + (view.span - span) * at, span);
  };
  const scroll = (share) => show(view.start + view.span * share, view.span);
  const fraction = (clientX) => {
    const box = canvas.getBoundingClientRect();
    return Math.min(Math.max((clientX - box.left) / box.width, 0), 1);
  };

  figure.addEventListener('click', (event) => {
    const button = event.target.closest('button');
    if (!button) return;
    if (button.dataset.zoom === 'in') zoom(2);
    if (button.dataset.zoom === 'out') zoom(0.5);
    if (button.dataset.zoom === 'all') show(0, end);
    if (button.dataset.scroll) scroll(0.5 * Number(button.dataset.scroll));
  }, {signal});
  canvas.addEventListener('keydown', (event) => {
    const actions = {
      '+': () => zoom(2),
      '=': () => zoom(2),
      '-': () => zoom(0.5),
      '0': () => show(0, end),
      ArrowLeft: () => scroll(-0.25),
      ArrowRight: () => scroll(0.25),
      Home: () => show(0, view.span),
      End: () => show(end, view.span),
    };
    if (!actions[event.key]) return;
    event.preventDefault();
    actions[event.key]();
  }, {signal});
  // Ctrl + wheel (and a touchpad's pinch, which browsers send as one) zooms; Shift + wheel or a
  // sideways wheel scrolls; a plain wheel scrolls the page as usual.
  canvas.addEventListener('wheel', (event) => {
    if (event.ctrlKey || event.metaKey) {
      event.preventDefault();
      zoom(Math.exp(-event.deltaY / 200), fraction(event.clientX));
    } else if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
      event.preventDefault();
      const delta = event.shiftKey ? event.deltaY || event.deltaX : event.deltaX;
      show(view.start + (delta / canvas.clientWidth) * view.span, view.span);
    }
  }, {passive: false, signal});
  // One finger or the mouse drags the song sideways; two fingers pinch.
  const pointers = new Map();
  let gesture;
  const measure = () => {
    const [a, b] = [...pointers.values()];
    return b ? {middle: (a + b) / 2, distance: Math.max(Math.abs(a - b), 1)} :
               {middle: a, distance: 0};
  };
  let pressedAt;
  canvas.addEventListener('click', (event) => {
    if (Math.abs(event.clientX - pressedAt) <= 3)
      onSeek(view.start + fraction(event.clientX) * view.span);
  }, {signal});
  canvas.addEventListener('pointerdown', (event) => {
    pressedAt = event.clientX;
    canvas.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, event.clientX);
    gesture = {...measure(), view};
  }, {signal});
  canvas.addEventListener('pointermove', (event) => {
    if (!pointers.has(event.pointerId)) return;
    pointers.set(event.pointerId, event.clientX);
    const now = measure();
    const perPixel = gesture.view.span / canvas.clientWidth;
    if (now.distance > 0 && gesture.distance > 0) {
      const span = gesture.view.span * gesture.distance / now.distance;
      const anchor = gesture.view.start + fraction(gesture.middle) * gesture.view.span;
      show(anchor - fraction(now.middle) * Math.min(Math.max(span, shortest), end), span);
    } else {
      show(gesture.view.start - (now.middle - gesture.middle) * perPixel, gesture.view.span);
    }
  }, {signal});
  for (const type of ['pointerup', 'pointercancel']) {
    canvas.addEventListener(type, (event) => {
      pointers.delete(event.pointerId);
      if (pointers.size > 0) gesture = {...measure(), view};
    }, {signal});
  }
  draw();
  return {
    draw,
    cursor(tick) {
      cursorTick = tick;
      if (tick !== undefined && (tick < view.start || tick > view.start + view.span))
        show(tick - view.span * 0.05, view.span);
      else
        placeCursor();
    },
  };
}

function drawPianoRoll(canvas, legend, midi, info, name, view) {
  const tracks = midi.tracks.filter((track) => track.notes.length > 0);
  const melodic = tracks.filter((track) => track.channel !== percussionChannel);
  const percussion = tracks.filter((track) => track.channel === percussionChannel);

  const width = Math.max(canvas.parentElement.clientWidth, 200);
  const height = 220;
  const scale = window.devicePixelRatio || 1;
  canvas.width = Math.round(width * scale);
  canvas.height = Math.round(height * scale);
  canvas.style.height = `${height}px`;
  const g = canvas.getContext('2d');
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.fillStyle = '#fbfbfd';
  g.fillRect(0, 0, width, height);

  const x = (tick) => ((tick - view.start) / view.span) * (width - 2) + 1;
  const top = 16;
  const laneHeight = percussion.length > 0 ? 50 : 0;
  const laneTop = height - laneHeight;
  // Each band maps the pitches its tracks play onto its rows.
  const band = (list, from, to) => {
    let low = 127;
    let high = 0;
    for (const {notes} of list) {
      for (let i = 2; i < notes.length; i += 3) {
        low = Math.min(low, notes[i]);
        high = Math.max(high, notes[i]);
      }
    }
    if (low > high) [low, high] = [60, 72];
    const row = (to - from - 2) / (high - low + 3);
    return {row, y: (pitch) => from + 1 + (high + 1 - pitch) * row};
  };

  // Bar lines (thinned out when bars are narrow), numbered so that no number meets the next.
  const signature = midi.signature;
  const bar = (midi.ppq * 4 * signature[0]) / signature[1];
  const barWidth = x(bar) - x(0);
  const last = Math.floor(midi.durationTicks / bar) + 1;
  g.font = '11px system-ui, sans-serif';
  const labelWidth = g.measureText(String(last)).width + 8;
  const step = Math.max(1, 2 ** Math.ceil(Math.log2(8 / barWidth)));
  const labelEvery = step * Math.max(1, 2 ** Math.ceil(Math.log2(labelWidth / (barWidth * step))));
  const first = Math.floor(view.start / bar / step) * step;
  for (let n = first; n * bar <= view.start + view.span; n += step) {
    const at = Math.round(x(n * bar));
    g.fillStyle = n % labelEvery === 0 ? '#c4c8d0' : '#e4e6ea';
    g.fillRect(at, top - 2, 1, height - top + 2);
    if (n % labelEvery === 0 && at >= 0) {
      g.fillStyle = '#4b5260';
      g.fillText(String(n + 1), at + 2, 11);
    }
  }
  if (laneHeight > 0) {
    g.fillStyle = '#eef0f4';
    g.fillRect(0, laneTop, width, laneHeight);
    g.fillStyle = '#c4c8d0';
    g.fillRect(0, laneTop, width, 1);
  }

  let drawn = 0;
  const paint = (list, {row, y}) => {
    // Whole pixels across, at least two down: a short note or a crowded lane stays visible.
    const tall = Math.max(row - 0.5, 2);
    for (const track of list) {
      g.fillStyle = partColour(track.name, track.channel);
      const notes = track.notes;
      for (let i = 0; i < notes.length; i += 3) {
        ++drawn;
        const left = Math.round(x(notes[i]));
        const right = Math.round(x(notes[i] + notes[i + 1]));
        if (right < 0 || left > width) continue;
        g.fillRect(left, y(notes[i + 2]), Math.max(right - left, 1), tall);
      }
    }
  };
  paint(melodic, band(melodic, top, laneTop));
  paint(percussion, band(percussion, laneTop, height));

  // Where the organ's alignment mark landed: at the start of a bar counted in 4/4 (every 1920
  // ticks), the converter's own rule, whatever time signature the bar lines show.
  if (info.alignTick > 0) {
    const at = Math.round(x(info.alignTick - info.songStartOffset));
    g.fillStyle = '#e11d48';
    g.fillRect(at, top - 2, 2, height - top + 2);
    g.beginPath();
    g.moveTo(at - 5, top - 2);
    g.lineTo(at + 6, top - 2);
    g.lineTo(at + 1, top + 4);
    g.fill();
  }

  canvas.dataset.notes = String(drawn);
  canvas.dataset.view = `${Math.round(view.start)} ${Math.round(view.span)}`;
  const shown = view.span >= midi.durationTicks ?
      'the whole song' :
      `bars ${Math.floor(view.start / bar) + 1} to ${Math.ceil((view.start + view.span) / bar)}`;
  canvas.setAttribute(
      'aria-label',
      `Piano roll of ${name}: ${drawn} notes in ${tracks.length} tracks, bars of ${signature[0]}/${
          signature[1]}, showing ${shown}; + and - zoom, the arrow keys scroll`);
  legend.replaceChildren(
      ...tracks.map((track, index) => {
        const item = document.createElement('span');
        item.className = 'swatch';
        const colour = partColour(track.name, track.channel);
        item.style.setProperty('--colour', colour);
        item.dataset.colour = colour;
        // The notes are counted in the card's description, in the engine's own terms.
        item.textContent = `${track.name || `Track ${index + 1}`}, channel ${track.channel}`;
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
