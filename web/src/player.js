// Plays a converted MIDI file in the browser and renders it to a WAV file, with a General MIDI
// sound font served beside the page. The synthesizer runs in an audio worklet, where it also
// follows the file's GM and XG set-up messages; the page loads this module, and the sound font,
// only when a song is first played or rendered.

import {BasicMIDI} from 'spessasynth_core';
import {audioBufferToWav, Sequencer, WorkletSynthesizer} from 'spessasynth_lib';

// Beside this module.
const soundFontFile = new URL('TimGM6mb.sf3', import.meta.url);
const processorFile = new URL('spessasynth_processor.min.js', import.meta.url);
const sampleRate = 44100;
// How long the last notes and the reverb may ring on after the file's last event.
const longestRelease = 4;
// Quieter than this (about -80 dB) is silence.
const silence = 1e-4;

// The sound font, fetched once; each synthesizer is handed a copy, which it takes over.
let soundFontBytes;
function soundFont() {
  soundFontBytes ??= fetch(soundFontFile).then((response) => {
    if (!response.ok) throw new Error(`the sound font: ${response.status} ${response.statusText}`);
    return response.arrayBuffer();
  });
  soundFontBytes.catch(() => (soundFontBytes = undefined));  // a later press tries again
  return soundFontBytes.then((bytes) => bytes.slice(0));
}

async function synthesizer(context) {
  const [bytes] = await Promise.all([soundFont(), context.audioWorklet.addModule(processorFile)]);
  const synth = new WorkletSynthesizer(context);
  synth.connect(context.destination);
  return {synth, bytes};
}

// The player, in `context`: one song at a time, from `seconds` on; `onEnd` is called when a song
// has played to its end.
export async function createPlayer(context, onEnd) {
  const {synth, bytes} = await synthesizer(context);
  await synth.soundBankManager.addSoundBank(bytes, 'main');
  await synth.isReady;
  const sequencer = new Sequencer(synth, {skipToFirstNoteOn: false});
  sequencer.loopCount = 0;
  sequencer.eventHandler.addEvent('songEnded', 'koralux', () => onEnd());
  let loaded;
  // Where a seek goes, until the synthesizer has gone there (past the end it starts again).
  let target;
  sequencer.eventHandler.addEvent('timeChange', 'koralux', () => (target = undefined));
  const seek = (seconds) => {
    target = seconds < sequencer.duration ? seconds : undefined;
    sequencer.currentTime = seconds;
  };
  return {
    async play(midi, seconds) {
      await context.resume();
      if (loaded !== midi) {
        loaded = undefined;
        const ready = new Promise((resolve, reject) => {
          sequencer.eventHandler.addEvent('songChange', 'koralux', resolve);
          sequencer.eventHandler.addEvent('midiError', 'koralux', reject);
        });
        sequencer.loadNewSongList([{binary: midi.slice().buffer, fileName: 'song.mid'}]);
        await ready;
        loaded = midi;
      }
      seek(seconds);
      sequencer.play();
    },
    pause: () => sequencer.pause(),
    seek,
    get seconds() { return target ?? sequencer.currentTime; },
  };
}

// The song as a 44.1 kHz stereo 16-bit WAV file: its `seconds` of music and the release after
// them, up to where everything has fallen silent.
export async function renderWav(midi, seconds) {
  const context = new OfflineAudioContext({
    numberOfChannels: 2,
    length: Math.ceil((seconds + longestRelease) * sampleRate),
    sampleRate
  });
  const {synth, bytes} = await synthesizer(context);
  await synth.startOfflineRender({
    midiSequence: BasicMIDI.fromArrayBuffer(midi.slice().buffer),
    soundBankList: [{bankOffset: 0, soundBankBuffer: bytes}],
    loopCount: 0,
    sequencerOptions: {skipToFirstNoteOn: false},
  });
  const rendered = await context.startRendering();
  const channels = [0, 1].map((channel) => rendered.getChannelData(channel));
  let end = rendered.length;
  const music = Math.min(Math.ceil(seconds * sampleRate), end);
  while (end > music && channels.every((samples) => Math.abs(samples[end - 1]) < silence)) --end;
  const audio = new AudioBuffer({numberOfChannels: 2, length: Math.max(end, 1), sampleRate});
  channels.forEach((samples, channel) => audio.copyToChannel(samples.subarray(0, end), channel));
  return audioBufferToWav(audio);
}
