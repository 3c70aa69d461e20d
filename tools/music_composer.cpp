#include "tools/music_composer.hpp"

#include <algorithm>

namespace koralux {

namespace {

using Chord = std::array<int, 4>;

constexpr std::array<int, 7> kMajorScale = {0, 2, 4, 5, 7, 9, 11};
// Four-bar chord progressions, as scale degrees counted from 0 (the tonic).
constexpr std::array<std::array<int, 4>, 7> kProgressions = {{
    {0, 4, 5, 3},
    {0, 5, 3, 4},
    {1, 4, 0, 0},
    {0, 3, 0, 4},
    {5, 3, 0, 4},
    {0, 3, 4, 3},
    {0, 2, 3, 4},
}};

// Fills of the last beat before a phrase: high tom down to floor tom, in sixteenths.
constexpr std::array<int, 6> kToms = {50, 48, 47, 45, 43, 41};

int pitchClass(int note) {
  return ((note % 12) + 12) % 12;
}

std::vector<int> selectedChannels(std::uint16_t channels) {
  std::vector<int> selected;
  for (int channel = 1; channel <= 16; ++channel) {
    if ((channels & channelBit(channel)) != 0) selected.push_back(channel);
  }
  return selected;
}

bool inChord(int note, const Chord& chord, int tones = 3) noexcept {
  return std::find(chord.begin(), chord.begin() + tones, pitchClass(note)) != chord.begin() + tones;
}

int nearestChordTone(int note, const Chord& chord) noexcept {
  for (int distance = 0; distance < 12; ++distance) {
    if (inChord(note - distance, chord)) return note - distance;
    if (inChord(note + distance, chord)) return note + distance;
  }
  return note;
}

// A chord tone below `note`, at most an octave down.
int chordToneBelow(int note, const Chord& chord) noexcept {
  for (int candidate = note - 3; candidate > note - 12; --candidate) {
    if (inChord(candidate, chord)) return candidate;
  }
  return note - 12;
}

// The chord's tones placed at or above `floor`, one each.
std::array<int, 4> voicing(const Chord& chord, int floor, int tones) noexcept {
  std::array<int, 4> notes{};
  for (std::size_t k = 0; k < static_cast<std::size_t>(tones); ++k) {
    notes[k] = floor + pitchClass(chord[k] - floor);
  }
  return notes;
}

int bassNote(int pitch) noexcept {
  int note = 36 + pitchClass(pitch);
  while (note > 55) note -= 12;
  return note;
}

}  // namespace

MusicComposer::MusicComposer(const GeneratorOptions& options, const BeatGrid& grid, Random& random,
                             EventSchedule& schedule)
    : options_(options),
      grid_(grid),
      random_(random),
      schedule_(schedule),
      // Human hands land a few milliseconds after the beat, never as late as the next marker.
      jitter_(static_cast<int>(std::min<std::int64_t>(4, (grid.msAt(1) - grid.msAt(0) - 1) / 3))),
      otherEvents_(random, grid, schedule, selectedChannels(options.channels), jitter_) {
  for (const int channel : selectedChannels(options.channels)) {
    // With an XG backing, channel 16 changes registrations (XgBacking) and plays no notes.
    if (!(options.xg && channel == 16)) parts_.push_back(makePart(channel));
  }
  expressionChannel_ = parts_.empty() ? 0 : parts_.front().channel;
  tonic_ = random_.below(12);
  for (Part& part : parts_) part.style = random_.below(4);
  chordsPerBar_ = random_.chance(30) ? 2 : 1;
}

// One note from grid position `start` to `end`. Hands (`human`) strike a little late and
// let go a little early; the rhythm unit is exact. The release is a note-off or a note-on
// with velocity 0, as the organ sends both.
void MusicComposer::play(int channel, std::int64_t start, std::int64_t end, int note, int velocity,
                         bool human, bool release) {
  const std::int64_t on = grid_.msAt(start) + (human ? humanJitter() : 0);
  const std::int64_t off = std::max(grid_.msAt(end) - (human ? humanJitter() : 0), on + 1);
  schedule_.add(on, Role::NoteOn,
                {statusByte(kNoteOn, channel), dataByte(note), dataByte(std::max(velocity, 1))});
  if (!release) return;
  if (random_.chance(50)) {
    schedule_.add(
        off, Role::Release,
        {statusByte(kNoteOff, channel), dataByte(note), dataByte(random_.between(32, 96))});
  } else {
    schedule_.add(off, Role::Release, {statusByte(kNoteOn, channel), dataByte(note), 0});
  }
}

MusicComposer::Part MusicComposer::makePart(int channel) {
  Part part;
  part.channel = channel;
  // An XG backing plays the organ's kinds of part: chords on 5, bass on 6, a pad on 7 and the
  // drums on General MIDI's drum channel 10.
  int kind = channel;
  if (options_.xg) {
    static constexpr std::array<int, 17> kXgKind = {0, 1,  2,  3,  4,  2,  3,  4, 8,
                                                    9, 15, 11, 12, 13, 14, 15, 16};
    kind = kXgKind[static_cast<std::size_t>(channel)];
  }
  switch (kind) {
    case 1:  // upper manual: melody with chords under it
      part.role = PartRole::Melody;
      part.low = 65;
      part.high = 89;
      part.density = 80;
      part.velocity = random_.between(80, 105);
      break;
    case 2:  // lower manual: chords
      part.role = PartRole::Chords;
      part.low = 53;
      part.high = 72;
      part.velocity = random_.between(65, 95);
      break;
    case 3:  // pedal: one bass note at a time
      part.role = PartRole::Bass;
      part.low = 36;
      part.high = 55;
      part.velocity = random_.between(75, 105);
      break;
    case 4:  // second upper voice: held chords above the lower manual
      part.role = PartRole::Pad;
      part.low = 64;
      part.high = 84;
      part.velocity = random_.between(55, 85);
      break;
    case 15:
      part.role = PartRole::Drums;
      part.low = 35;
      part.high = 81;
      break;
    default:  // any other voice: a sparser lead line
      part.role = PartRole::Melody;
      part.low = 60 + random_.between(0, 5);
      part.high = part.low + 21;
      part.density = 50;
      part.velocity = random_.between(60, 100);
      break;
  }
  part.note = (part.low + part.high) / 2;
  return part;
}

MusicComposer::Chord MusicComposer::chordOn(int degree) const noexcept {
  Chord chord{};
  for (std::size_t k = 0; k < chord.size(); ++k) {
    const int step = (degree + 2 * static_cast<int>(k)) % 7;
    chord[k] = (tonic_ + kMajorScale[static_cast<std::size_t>(step)]) % 12;
  }
  return chord;
}

void MusicComposer::composeBar(std::int64_t bar) {
  const std::int64_t start = bar * kPositionsPerBar;
  if (bar % 4 == 0) {
    // A new phrase: now and then a new key a step up, new accompaniment patterns.
    if (bar > 0 && bar % 16 == 0 && random_.chance(25)) tonic_ = (tonic_ + 2) % 12;
    if (bar > 0 && bar % 8 == 0) {
      for (Part& part : parts_) {
        if (random_.chance(40)) part.style = random_.below(4);
      }
    }
    progression_ = random_.pick(kProgressions);
  }
  const int barInPhrase = static_cast<int>(bar % 4);
  chords_[0] = chordOn(progression_[static_cast<std::size_t>(barInPhrase)]);
  chords_[1] = chordsPerBar_ == 2
                   ? chordOn(progression_[static_cast<std::size_t>((barInPhrase + 1) % 4)])
                   : chords_[0];
  const bool phraseEnd = bar % 8 == 7;
  const bool phraseStart = bar % 8 == 0;

  if (bar == 0) beginning();
  for (Part& part : parts_) {
    switch (part.role) {
      case PartRole::Melody:
        melody(part, start, barInPhrase == 3);
        break;
      case PartRole::Chords:
        lowerChords(part, start);
        break;
      case PartRole::Bass:
        pedal(part, start);
        break;
      case PartRole::Pad:
        pad(part, start);
        break;
      case PartRole::Drums:
        drums(part, start, phraseStart, phraseEnd);
        break;
    }
  }
  if (options_.expression && expressionChannel_ != 0 && bar > 0 && random_.chance(35)) {
    expressionSwell(start);
  }
  if (options_.everyKind && bar > 0) {
    for (int count = random_.below(3); count > 0; --count) {
      otherEvents_.add(static_cast<OtherEvent>(random_.below(kOtherEventCount - 1)),
                       start + random_.below(static_cast<int>(kPositionsPerBar)));
    }
  }
}

// Before the first note: the alignment marker's place, the expression pedal's position and,
// for a stream of every kind, one of each rarer event.
void MusicComposer::beginning() {
  if (options_.alignMarker) {
    schedule_.add(grid_.msAt(kPositionsPerBeat), Role::Marker, {kMarker, kAlignMarker});
  }
  if (options_.expression && expressionChannel_ != 0) {
    schedule_.add(0, Role::Other, controlChange(expressionChannel_, kExpression, expression_));
  }
  if (options_.everyKind) {
    for (int kind = 0; kind < kOtherEventCount; ++kind)
      otherEvents_.add(static_cast<OtherEvent>(kind), 0);
  }
}

const MusicComposer::Chord& MusicComposer::chordAt(std::int64_t position) const noexcept {
  return chords_[(position % kPositionsPerBar) < 2 * kPositionsPerBeat ? 0 : 1];
}

// The next note of the scale above (direction 1) or below (-1).
int MusicComposer::scaleStep(int note, int direction) const noexcept {
  for (int candidate = note + direction;; candidate += direction) {
    const int degree = pitchClass(candidate - tonic_);
    if (std::find(kMajorScale.begin(), kMajorScale.end(), degree) != kMajorScale.end()) {
      return candidate;
    }
  }
}

// A melody, beat by beat, in rhythmic cells; strong beats lean on chord tones, and some
// notes get one or two chord tones added under them.
void MusicComposer::melody(Part& part, std::int64_t barStart, bool lastBarOfPhrase) {
  struct Cell {
    std::array<std::int8_t, 4> onsets;
    std::array<std::int8_t, 4> lengths;
    int count;
  };
  static constexpr std::array<Cell, 7> kCells = {{
      {{0}, {24}, 1},
      {{0, 12}, {12, 12}, 2},
      {{0, 12}, {12, 12}, 2},
      {{0, 18}, {18, 6}, 2},
      {{0, 8, 16}, {8, 8, 8}, 3},
      {{0, 6, 12, 18}, {6, 6, 6, 6}, 4},
      {{0}, {48}, 1},
  }};
  for (std::int64_t beat = 0; beat < 4; ++beat) {
    const std::int64_t beatStart = barStart + beat * kPositionsPerBeat;
    if (beatStart < busyUntil(part)) continue;
    if (lastBarOfPhrase && beat == 3 && random_.chance(60)) continue;  // breathe
    if (!random_.chance(part.density)) continue;
    Cell cell = random_.pick(kCells);
    if (cell.lengths[0] == 48 && beat % 2 == 1) cell = kCells[0];
    const bool legato = random_.chance(70);
    for (int i = 0; i < cell.count; ++i) {
      const std::size_t index = static_cast<std::size_t>(i);
      const std::int64_t onset = beatStart + cell.onsets[index];
      const std::int64_t length = cell.lengths[index];
      const Chord& chord = chordAt(onset);
      int direction = random_.chance(50) ? 1 : -1;
      if (part.note + 4 > part.high) direction = -1;
      if (part.note - 4 < part.low) direction = 1;
      int next = part.note;
      for (int steps = random_.pick(std::array<int, 6>{0, 1, 1, 1, 2, 4}); steps > 0; --steps) {
        next = scaleStep(next, direction);
      }
      if (i == 0 && beat % 2 == 0) next = nearestChordTone(next, chord);
      part.note = std::clamp(next, part.low, part.high);
      const std::int64_t end = onset + (legato ? length : std::max<std::int64_t>(length / 2, 1));
      const int velocity = part.velocity + random_.between(-8, 8) + (i == 0 ? 6 : 0);
      play(part.channel, onset, end, part.note, velocity, true);
      if (i == 0 && part.channel == 1 && random_.chance(30)) {
        int under = part.note;
        for (int voices = random_.chance(40) ? 2 : 1; voices > 0; --voices) {
          under = chordToneBelow(under, chord);
          play(part.channel, onset, end, under, velocity - 10, true);
        }
      }
      busy_[static_cast<std::size_t>(part.channel - 1)] = end;
    }
    busy_[static_cast<std::size_t>(part.channel - 1)] =
        std::max(busy_[static_cast<std::size_t>(part.channel - 1)],
                 beatStart + (cell.lengths[0] == 48 ? 48 : kPositionsPerBeat));
  }
}

std::int64_t MusicComposer::busyUntil(const Part& part) const noexcept {
  return busy_[static_cast<std::size_t>(part.channel - 1)];
}

void MusicComposer::playChord(const Part& part, std::int64_t start, std::int64_t end, int floor) {
  const Chord& harmony = chordAt(start);
  const int tones = random_.chance(25) ? 4 : 3;
  const std::array<int, 4> notes = voicing(harmony, floor, tones);
  const int velocity = part.velocity + random_.between(-6, 6);
  for (std::size_t k = 0; k < static_cast<std::size_t>(tones); ++k) {
    play(part.channel, start, end, notes[k], velocity, true);
  }
}

// Lower manual: the bar's chords, held, on every beat, off the beat or on two and four.
void MusicComposer::lowerChords(const Part& part, std::int64_t barStart) {
  const int floor = part.low + 2;
  switch (part.style) {
    case 0:
      for (std::int64_t half = 0; half < 2; ++half) {
        const std::int64_t start = barStart + half * 2 * kPositionsPerBeat;
        playChord(part, start, start + 2 * kPositionsPerBeat - random_.between(1, 3), floor);
      }
      break;
    case 1:
      for (std::int64_t beat = 0; beat < 4; ++beat) {
        const std::int64_t start = barStart + beat * kPositionsPerBeat;
        playChord(part, start, start + random_.between(16, 22), floor);
      }
      break;
    case 2:
      for (std::int64_t beat = 0; beat < 4; ++beat) {
        const std::int64_t start = barStart + beat * kPositionsPerBeat + 12;
        playChord(part, start, start + random_.between(6, 10), floor);
      }
      break;
    default:
      for (std::int64_t beat = 1; beat < 4; beat += 2) {
        const std::int64_t start = barStart + beat * kPositionsPerBeat;
        playChord(part, start, start + random_.between(14, 20), floor);
      }
      break;
  }
}

// Second upper voice: two or three chord tones held for each chord.
void MusicComposer::pad(const Part& part, std::int64_t barStart) {
  const std::int64_t span = chordsPerBar_ == 2 ? 2 * kPositionsPerBeat : kPositionsPerBar;
  for (std::int64_t start = barStart; start < barStart + kPositionsPerBar; start += span) {
    if (part.style == 3 && random_.chance(50)) continue;  // rests now and then
    const std::array<int, 4> notes = voicing(chordAt(start), part.low + 3, 3);
    const int tones = random_.chance(50) ? 3 : 2;
    const std::int64_t end = start + span - random_.between(2, 6);
    for (std::size_t k = 0; k < static_cast<std::size_t>(tones); ++k) {
      play(part.channel, start, end, notes[k] + 12 * (k == 0 && tones == 2 ? 1 : 0),
           part.velocity + random_.between(-5, 5), true);
    }
  }
}

// Pedal: roots and fifths, one note at a time; the next note never starts before the last
// one is released.
void MusicComposer::pedal(const Part& part, std::int64_t barStart) {
  struct Step {
    std::int64_t position;
    std::int64_t length;
    int interval;  // semitones above the root of the chord there
  };
  std::array<Step, 4> steps{};
  int count = 0;
  switch (part.style) {
    case 0:  // half notes: root, fifth
      steps = {{{0, 44, 0}, {48, 44, 7}}};
      count = 2;
      break;
    case 1:  // walking quarters
      steps = {{{0, 20, 0}, {24, 20, random_.chance(50) ? 4 : 3}, {48, 20, 7}, {72, 18, 12}}};
      count = 4;
      break;
    case 2:  // a whole note
      steps = {{{0, 90, 0}}};
      count = 1;
      break;
    default:  // root, a push before beat three, fifth
      steps = {{{0, 30, 0}, {36, 10, 0}, {48, 40, 7}}};
      count = 3;
      break;
  }
  for (int i = 0; i < count; ++i) {
    const Step& step = steps[static_cast<std::size_t>(i)];
    const std::int64_t start = barStart + step.position;
    const int root = bassNote(chordAt(start)[0]);
    int note = root + step.interval;
    while (note > part.high) note -= 12;
    play(part.channel, start, start + step.length - random_.between(0, 2), note,
         part.velocity + random_.between(-8, 8), true,
         !(options_.pedalWithoutReleases && part.channel == 3));
  }
}

void MusicComposer::hit(const Part& part, std::int64_t position, int note, int velocity) {
  play(part.channel, position, position + 2, std::clamp(note, part.low, part.high),
       std::clamp(velocity, 1, 127), false);
}

// The rhythm unit: a pattern per style, a crash at the top of a phrase, a tom fill at the end.
void MusicComposer::drums(const Part& part, std::int64_t barStart, bool phraseStart,
                          bool phraseEnd) {
  for (std::int64_t beat = 0; beat < 4; ++beat) {
    const std::int64_t at = barStart + beat * kPositionsPerBeat;
    const bool strong = beat % 2 == 0;
    if (phraseEnd && beat == 3) {
      for (std::int64_t i = 0; i < 4; ++i) {
        hit(part, at + 6 * i,
            kToms[static_cast<std::size_t>(random_.below(2) + 2 * (i / 2) + (i % 2))],
            95 + random_.between(0, 20));
      }
      continue;
    }
    if (beat == 0 && phraseStart) hit(part, at, 49, 115);  // crash
    if (strong) hit(part, at, 36, 110 + random_.between(0, 10));
    if (!strong) hit(part, at, part.style == 3 ? 37 : 38, 100 + random_.between(0, 15));
    switch (part.style) {
      case 0:  // eighths on the hi-hat, open on the last off-beat
        hit(part, at, 42, strong ? 90 : 75);
        hit(part, at + 12, beat == 3 && random_.chance(40) ? 46 : 42, 60 + random_.between(0, 10));
        if (beat == 1 && random_.chance(30)) hit(part, at + 12, 36, 90);
        break;
      case 1:  // sixteenths
        for (std::int64_t i = 0; i < 4; ++i) {
          hit(part, at + 6 * i, 42, i == 0 ? 95 : 55 + random_.between(0, 15));
        }
        if (beat == 1 && random_.chance(50)) hit(part, at + 18, 36, 95);
        break;
      case 2:  // shuffle on the ride
        hit(part, at, 51, 90);
        hit(part, at + 16, 51, 65 + random_.between(0, 10));
        break;
      default:  // latin: kick on one and the "and" of two, shaker sixteenths, claves
        if (beat % 2 == 1) hit(part, at + 12, 36, 90);
        for (std::int64_t i = 0; i < 4; ++i) hit(part, at + 6 * i, 69, 45 + random_.between(0, 20));
        if (beat != 1) hit(part, at + (beat == 0 ? 0 : 12), 75, 80);
        break;
    }
  }
}

// The expression pedal moves smoothly to a new place within the bar.
void MusicComposer::expressionSwell(std::int64_t barStart) {
  const int target = random_.between(45, 127);
  const int steps = random_.between(4, 12);
  std::int64_t position = barStart + random_.between(0, 36);
  const int from = expression_;
  for (int i = 1; i <= steps && position < barStart + kPositionsPerBar; ++i) {
    const int value = from + (target - from) * i / steps;
    if (value != expression_) {
      schedule_.add(grid_.msAt(position) + humanJitter(), Role::Other,
                    controlChange(expressionChannel_, kExpression, value));
      expression_ = value;
    }
    position += random_.between(2, 5);
  }
}

}  // namespace koralux
