// The conversion engine, compiled to WebAssembly (koralux.js and koralux.wasm), behind plain
// JavaScript: bytes and settings in; the MIDI file, what it holds and the engine's reports out;
// the engine's own message when a file cannot be converted. Runs in a Web Worker and in Node.

const encoder = new TextEncoder();
const decoder = new TextDecoder();

export class Engine {
  // `createKoralux` is the module factory of koralux.js; `options` go to it (Node passes the
  // module's bytes as `wasmBinary`).
  static async load(createKoralux, options = {}) {
    const engine = new Engine();
    engine.module = await createKoralux({...options, onReport: (...r) => engine.report?.(...r)});
    return engine;
  }

  // [{text: "C Major", sharpsFlats: 0, minor: 0}, ...] in the order the key list shows them.
  keys() { return JSON.parse(this.#string(this.module._koralux_keys())); }

  // The MIDI file's name for a performance file's name: "song.evt" gives "song.mid".
  outputName(fileName) {
    return this.#withJob(
        fileName,
        new Uint8Array(0),
        (job) => this.#string(this.module._koralux_job_output_name(job)),
    );
  }

  // What the file holds and which tracks a conversion with `settings` (as for convert) would
  // write, as koralux-cli --info --json says it: {ok: true, info} or {ok: false, message}.
  describe(fileName, bytes, settings = {}) {
    return this.#withJob(fileName, bytes, (job) => {
      const refused = this.#set(job, settings);
      if (refused) return refused;
      const ok = this.module._koralux_job_describe(job) === 1;
      const text = this.#string(this.module._koralux_job_text(job));
      return ok ? {ok, info: JSON.parse(text)} : {ok, message: text};
    });
  }

  // Converts: {ok: true, midi, summary} or {ok: false, message}. `settings` names the engine's
  // settings (keySharpsFlats, keyMinor, timeNumerator, timeDenominator, rhythmUnitAbsent,
  // legacyTiming, xgParts), each a number or a flag; the engine refuses unknown names and values
  // out of range, and gives the ones left out their usual defaults. `onReport(kind, text, number)`
  // receives the engine's reports as they happen: "progressBegin" with the number of notes,
  // then "status" with a part's text and "partDone" with its notes for each part, then "status"
  // with "Status: Finished".
  convert(fileName, bytes, settings = {}, onReport = undefined) {
    return this.#withJob(fileName, bytes, (job) => {
      const refused = this.#set(job, settings);
      if (refused) return refused;
      this.report = onReport;
      let ok;
      try {
        ok = this.module._koralux_job_convert(job) === 1;
      } finally {
        this.report = undefined;
      }
      const text = this.#string(this.module._koralux_job_text(job));
      if (!ok) return {ok, message: text};
      const at = this.module._koralux_job_midi(job);
      const size = this.module._koralux_job_midi_size(job);
      return {ok, midi: this.module.HEAPU8.slice(at, at + size), summary: JSON.parse(text)};
    });
  }

  // The songs on a floppy-disk image: {ok: true, disk} or {ok: false, message}. disk has format,
  // label, fatNote, problems, registrationFiles and otherFiles (paths), and songs, each
  // {path, slot, damage, warnings, registration, bytes}: damage is null or why the song is
  // damaged, and bytes are the song's as far as they read.
  readDisk(fileName, bytes) {
    return this.#withJob(fileName, bytes, (job) => {
      const ok = this.module._koralux_job_read_disk(job) === 1;
      const text = this.#string(this.module._koralux_job_text(job));
      if (!ok) return {ok, message: text};
      const disk = JSON.parse(text);
      for (const song of disk.songs) {
        const at = this.module._koralux_job_disk_file(job, song.index);
        song.bytes = this.module.HEAPU8.slice(at, at + song.size);
        delete song.index;
        delete song.size;
      }
      return {ok, disk};
    });
  }

  // Gives the job `settings`: undefined, or {ok: false, message} for the first one refused.
  #set(job, settings) {
    for (const [name, value] of Object.entries(settings)) {
      if (this.module._koralux_job_set(job, this.#cString(name), Number(value)) !== 1) {
        return {ok: false, message: this.#string(this.module._koralux_job_text(job))};
      }
    }
    return undefined;
  }

  #withJob(fileName, bytes, work) {
    const job = this.module._koralux_job_new(this.#cString(fileName));
    this.#freeStrings();
    try {
      const at = this.module._koralux_job_input(job, bytes.length);
      if (at === 0 && bytes.length > 0) {
        return {
          ok: false,
          message: `${fileName}: the file is too large for the memory this page may use`
        };
      }
      this.module.HEAPU8.set(bytes, at);
      return work(job);
    } finally {
      this.#freeStrings();
      this.module._koralux_job_free(job);
    }
  }

  // A NUL-terminated copy of `text` in the module's memory, freed with the job.
  #strings = [];
  #cString(text) {
    const bytes = encoder.encode(text);
    const at = this.module._malloc(bytes.length + 1);
    this.module.HEAPU8.set(bytes, at);
    this.module.HEAPU8[at + bytes.length] = 0;
    this.#strings.push(at);
    return at;
  }
  #freeStrings() {
    for (const at of this.#strings) this.module._free(at);
    this.#strings = [];
  }

  #string(at) {
    const heap = this.module.HEAPU8;
    let end = at;
    while (heap[end] !== 0) ++end;
    return decoder.decode(heap.subarray(at, end));
  }
}
