#include "tools/performance_generator.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <string_view>

namespace koralux {

namespace {

constexpr std::size_t kHeaderSize = 256;
constexpr std::string_view kHeaderTag = "KORALUX PERFORMANCE";

// The musical grid is the organ's clock: 24 positions per quarter note, four beats to the bar.
constexpr std::int64_t kPositionsPerBeat = 24;
constexpr std::int64_t kPositionsPerBar = 4 * kPositionsPerBeat;

constexpr int kLowestTempo = 20;
constexpr int kHighestTempo = 400;

// A timing event holds at most 127 + 128 × 127 milliseconds.
constexpr std::int64_t kLongestTiming = 127 + 128 * 127;
constexpr std::int64_t kLongestShortTiming = 255;

// Bars in a row that may pass without a byte before a size-driven performance gives up
// (nothing is selected that could ever play).
constexpr int kIdleBarLimit = 64;

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kPolyPressure = 0xA0;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;
constexpr std::uint8_t kSystemExclusive = 0xF0;
constexpr std::uint8_t kEndOfExclusive = 0xF7;
constexpr std::uint8_t kMarker = 0xFE;
constexpr std::uint8_t kClockMarker = 0x78;
constexpr std::uint8_t kAlignMarker = 0x7A;
constexpr std::uint8_t kPipeMarker = 0x7C;

constexpr std::uint8_t kFootController = 4;
constexpr std::uint8_t kExpression = 11;
constexpr std::uint8_t kSustain = 64;
constexpr std::uint8_t kAllNotesOff = 123;

constexpr std::size_t kLongestExclusivePayload = 510;  // plus the F7: 511 bytes after the F0

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

std::uint8_t byte(int value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t dataByte(int value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 127));
}
std::uint8_t status(std::uint8_t base, int channel) {
  return static_cast<std::uint8_t>(base | ((channel - 1) & 0x0F));
}
int pitchClass(int note) {
  return ((note % 12) + 12) % 12;
}

// splitmix64: tiny, fast and the same on every platform. Ranges are mapped here rather than
// by the standard distributions, whose results differ between standard libraries.
class Random {
 public:
  explicit Random(std::uint64_t seed) noexcept : state_(seed) {}

  std::uint64_t next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 to count - 1 (count at least 1), from the top 32 bits scaled by a multiplication: no
  // division, and a bias far below anything a listener could hear.
  int below(int count) noexcept {
    const std::uint64_t scaled = (next() >> 32) * static_cast<std::uint64_t>(std::max(count, 1));
    return static_cast<int>(scaled >> 32);
  }
  int between(int low, int high) noexcept { return low + below(high - low + 1); }
  bool chance(int percent) noexcept { return below(100) < percent; }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) noexcept {
    return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
  }

 private:
  std::uint64_t state_;
};

// Among events of one millisecond: the clock marker first (kept outside the pending list), then
// the alignment marker, releases, everything else, and note-ons last, so that a key released
// and struck again at the same moment is released first.
enum class Order : std::uint8_t { Marker = 0, Release = 1, Other = 2, NoteOn = 3 };
// A Reset puts a controller back where it rests (sustain up, pitch bend centred); like a
// release it is still sent when the performance ends early.
enum class Role : std::uint8_t { Other, NoteOn, Release, Reset, SystemExclusive };

// One to three bytes of one event.
struct Message {
  Message() = default;
  Message(std::uint8_t first) : bytes{first, 0, 0}, size(1) {}
  Message(std::uint8_t first, std::uint8_t second) : bytes{first, second, 0}, size(2) {}
  Message(std::uint8_t first, std::uint8_t second, std::uint8_t third)
      : bytes{first, second, third}, size(3) {}

  std::array<std::uint8_t, 3> bytes{};
  std::uint8_t size = 0;
};

// An event waiting for its time. Events of the same millisecond and order keep the order in
// which they were scheduled.
struct Scheduled {
  std::int64_t key = 0;        // millisecond × 4 + order
  std::uint32_t sequence = 0;  // order of scheduling within one bar
  Role role = Role::Other;
  Message message;
  std::uint16_t payload = 0;  // a system-exclusive message's length between F0 and F7

  std::int64_t ms() const noexcept { return key >> 2; }
};

std::int64_t sortKey(std::int64_t ms, Order order) noexcept {
  return ms * 4 + static_cast<std::int64_t>(order);
}

// A chord as pitch classes: root, third, fifth, seventh.
using Chord = std::array<int, 4>;

enum class PartRole { Melody, Chords, Bass, Pad, Drums };

struct Part {
  int channel = 1;
  PartRole role = PartRole::Melody;
  int low = 60;  // register
  int high = 84;
  int note = 72;  // the melody's last note
  int velocity = 90;
  int style = 0;
  int density = 60;  // per cent of beats a melody plays
};

// Everything else the organ's stream can hold, added by GeneratorOptions::everyKind.
enum class Extra {
  SystemExclusive,
  SystemF1,
  PipeMarker,
  SystemF2,
  SystemF6,
  OtherMarker,
  Stray,
  FootController,
  Sustain,
  Controller,
  ProgramChange,
  ChannelPressure,
  PitchBend,
  AllNotesOff,
};
constexpr int kExtraCount = static_cast<int>(Extra::AllNotesOff) + 1;

class Generator {
 public:
  explicit Generator(const GeneratorOptions& options)
      : options_(options),
        random_(options.seed),
        payloadRandom_(options.seed ^ 0x5A17E0C0FFEEull),
        tempo_(std::clamp(options.tempo, kLowestTempo, kHighestTempo)) {
    const double seconds = std::isfinite(options.seconds) ? options.seconds : 0.0;
    endMs_ = static_cast<std::int64_t>(std::llround(std::clamp(seconds, 0.0, 1e12) * 1000.0));
    // The recording starts a moment before the first beat, so that the performance opens with
    // a timing event, as the organ's recordings do.
    leadIn_ = random_.between(2, 12);
    nextMarkerMs_ = msAt(1);
    markerRemainder_ = (60000 + perMinute() / 2) % perMinute();
    // Human hands land a few milliseconds after the beat, never as late as the next marker.
    jitter_ = static_cast<int>(std::min<std::int64_t>(4, (msAt(1) - msAt(0) - 1) / 3));
    for (int channel = 1; channel <= 16; ++channel) {
      if ((options.channels & channelBit(channel)) != 0) parts_.push_back(makePart(channel));
    }
    expressionChannel_ = parts_.empty() ? 0 : parts_.front().channel;
  }

  std::vector<std::uint8_t> run() {
    reserve();
    std::uint8_t* header = room(kHeaderSize);
    std::fill_n(header, kHeaderSize, 0);
    std::copy(kHeaderTag.begin(), kHeaderTag.end(), header);
    done(header + kHeaderSize);

    chooseSong();
    int idleBars = 0;
    for (std::int64_t bar = 0;; ++bar) {
      const std::size_t before = used_;
      composeBar(bar);
      const std::int64_t barEnd = msAt((bar + 1) * kPositionsPerBar);
      if (flushBefore(barEnd)) break;
      if (options_.targetBytes == 0 && barEnd >= endMs_) break;
      idleBars = used_ == before ? idleBars + 1 : 0;
      if (idleBars >= kIdleBarLimit) break;
    }
    finish();
    out_.resize(used_);
    return std::move(out_);
  }

 private:
  // ---- time

  // The millisecond of a grid position. Rounded from the exact value each time, so the clock
  // markers keep the tempo on average while each interval is a whole number of milliseconds.
  std::int64_t msAt(std::int64_t position) const noexcept {
    return leadIn_ + (position * 60000 + perMinute() / 2) / perMinute();
  }
  // The milliseconds that `positions` grid positions last.
  std::int64_t msFor(std::int64_t positions) const noexcept { return msAt(positions) - msAt(0); }
  int humanJitter() noexcept { return random_.between(0, jitter_); }

  // The next clock marker's millisecond, as msAt(position + 1) but without a division: the
  // numerator of msAt grows by 60000 per position.
  void stepMarker() noexcept {
    nextMarkerMs_ += markerStep_;
    markerRemainder_ += markerStepRemainder_;
    if (markerRemainder_ >= perMinute()) {
      markerRemainder_ -= perMinute();
      ++nextMarkerMs_;
    }
  }
  std::int64_t perMinute() const noexcept { return kPositionsPerBeat * tempo_; }

  // ---- output

  void reserve() {
    std::size_t expected = options_.targetBytes;
    if (expected == 0) {
      // About 300 bytes a second at 120 beats per minute with four parts playing; more parts
      // or a faster tempo let the vector grow as usual.
      const double seconds = static_cast<double>(endMs_) / 1000.0;
      expected = static_cast<std::size_t>(std::min(seconds * 400.0, 64.0 * 1024 * 1024));
    }
    out_.resize(kHeaderSize + expected + expected / 16 + 4096);
  }

  // Room for `count` more bytes: where they go. Written through a local pointer and handed
  // back with done(), which keeps the byte stores from reloading the vector at each byte.
  std::uint8_t* room(std::size_t count) {
    if (out_.size() - used_ < count) out_.resize(std::max(2 * out_.size(), used_ + count));
    return out_.data() + used_;
  }
  void done(const std::uint8_t* end) noexcept {
    used_ = static_cast<std::size_t>(end - out_.data());
  }

  // Timing events for the milliseconds since the last one: whenever time has moved on before
  // an event, the organ first says by how much.
  void advanceTo(std::int64_t ms) {
    std::int64_t gap = ms - emittedMs_;
    if (gap <= 0) return;
    emittedMs_ = ms;
    std::uint8_t* out = room(static_cast<std::size_t>(3 * (gap / kLongestTiming + 1)));
    while (gap > kLongestTiming) {
      *out++ = 0xF4;
      *out++ = 0x7F;
      *out++ = 0x7F;
      gap -= kLongestTiming;
    }
    if (gap > kLongestShortTiming) {
      *out++ = 0xF4;
      *out++ = static_cast<std::uint8_t>(gap & 0x7F);
      *out++ = static_cast<std::uint8_t>(gap >> 7);
    } else {
      *out++ = 0xF3;
      *out++ = static_cast<std::uint8_t>(gap);
    }
    done(out);
  }

  void emit(const Scheduled& event) {
    advanceTo(event.ms());
    if (event.role == Role::SystemExclusive) {
      std::uint8_t* out = room(event.payload + 2u);
      *out++ = kSystemExclusive;
      for (std::uint16_t i = 0; i < event.payload; ++i) {
        *out++ = static_cast<std::uint8_t>(payloadRandom_.next() & 0x7F);
      }
      *out++ = kEndOfExclusive;
      done(out);
      return;
    }
    const Message& message = event.message;
    write(message);
    if (event.role == Role::NoteOn) setSounding(message.bytes[0], message.bytes[1], true);
    if (event.role == Role::Release) setSounding(message.bytes[0], message.bytes[1], false);
  }

  void write(const Message& message) {
    std::uint8_t* out = room(message.bytes.size());
    std::copy_n(message.bytes.begin(), message.bytes.size(), out);
    done(out + message.size);
  }

  void setSounding(std::uint8_t statusByte, std::uint8_t note, bool on) noexcept {
    sounding_[static_cast<std::size_t>((statusByte & 0x0F) * 128 + note)] = on;
  }
  bool isSounding(const Scheduled& event) const noexcept {
    const Message& message = event.message;
    return sounding_[static_cast<std::size_t>((message.bytes[0] & 0x0F) * 128 + message.bytes[1])];
  }

  bool reachedEnd(std::int64_t ms) const noexcept {
    if (options_.targetBytes != 0) return used_ >= options_.targetBytes;
    return ms >= endMs_;
  }

  // Writes, in time order, the clock markers and queued events before `limit`. Returns true
  // when the performance has reached its length or size.
  bool flushBefore(std::int64_t limit) {
    sortPending();
    std::size_t next = 0;
    bool ended = false;
    for (;;) {
      const bool eventDue = next < pending_.size() && pending_[next].ms() < limit;
      const bool markerDue = options_.rhythmUnit && nextMarkerMs_ < limit;
      if (!eventDue && !markerDue) break;
      const bool marker =
          markerDue && (!eventDue || nextMarkerMs_ < pending_[next].ms() ||
                        (nextMarkerMs_ == pending_[next].ms() && !eventBeforeMarker()));
      if (reachedEnd(marker ? nextMarkerMs_ : pending_[next].ms())) {
        ended = true;
        break;
      }
      if (marker) {
        advanceTo(nextMarkerMs_);
        write({kMarker, kClockMarker});
        stepMarker();
      } else {
        emit(pending_[next++]);
      }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(next));
    sorted_ = pending_.size();
    return ended;
  }

  bool eventBeforeMarker() noexcept { return options_.looseTiming && random_.chance(50); }

  // The events left from earlier bars are in order already; the bar's new ones are sorted and
  // merged with them, the earlier bars' first on a tie, so that ties keep the order of
  // scheduling.
  void sortPending() {
    const auto middle = pending_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    std::sort(middle, pending_.end(), [](const Scheduled& a, const Scheduled& b) {
      return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
    });
    merged_.clear();
    std::merge(pending_.begin(), middle, middle, pending_.end(), std::back_inserter(merged_),
               [](const Scheduled& a, const Scheduled& b) { return a.key < b.key; });
    pending_.swap(merged_);
    sorted_ = pending_.size();
    sequence_ = 0;
  }

  // The player stops: the rhythm unit falls silent, nothing new starts, and every key still
  // held is let go.
  void finish() {
    sortPending();
    for (const Scheduled& event : pending_) {
      if ((event.role == Role::Release && isSounding(event)) || event.role == Role::Reset) {
        emit(event);
      }
    }
    pending_.clear();
    if (options_.everyKind) {
      for (const Part& part : parts_)
        write({status(kControlChange, part.channel), kAllNotesOff, 0});
    }
  }

  // ---- scheduling

  void schedule(std::int64_t ms, Order order, Role role, Message message) {
    Scheduled event;
    event.key = sortKey(ms, order);
    event.sequence = sequence_++;
    event.role = role;
    event.message = message;
    pending_.push_back(event);
  }

  void control(std::int64_t ms, int channel, int controller, int value) {
    schedule(ms, Order::Other, Role::Other,
             {status(kControlChange, channel), dataByte(controller), dataByte(value)});
  }

  // One note from grid position `start` to `end`. Hands (`human`) strike a little late and
  // let go a little early; the rhythm unit is exact. The release is a note-off or a note-on
  // with velocity 0, as the organ sends both.
  void play(int channel, std::int64_t start, std::int64_t end, int note, int velocity, bool human,
            bool release = true) {
    const std::int64_t on = msAt(start) + (human ? humanJitter() : 0);
    const std::int64_t off = std::max(msAt(end) - (human ? humanJitter() : 0), on + 1);
    schedule(on, Order::NoteOn, Role::NoteOn,
             {status(kNoteOn, channel), dataByte(note), dataByte(std::max(velocity, 1))});
    if (!release) return;
    if (random_.chance(50)) {
      schedule(off, Order::Release, Role::Release,
               {status(kNoteOff, channel), dataByte(note), dataByte(random_.between(32, 96))});
    } else {
      schedule(off, Order::Release, Role::Release, {status(kNoteOn, channel), dataByte(note), 0});
    }
  }

  // ---- the song

  Part makePart(int channel) {
    Part part;
    part.channel = channel;
    switch (channel) {
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

  void chooseSong() {
    tonic_ = random_.below(12);
    for (Part& part : parts_) part.style = random_.below(4);
    chordsPerBar_ = random_.chance(30) ? 2 : 1;
  }

  Chord chordOn(int degree) const noexcept {
    Chord chord{};
    for (std::size_t k = 0; k < chord.size(); ++k) {
      const int step = (degree + 2 * static_cast<int>(k)) % 7;
      chord[k] = (tonic_ + kMajorScale[static_cast<std::size_t>(step)]) % 12;
    }
    return chord;
  }

  void composeBar(std::int64_t bar) {
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
        extra(static_cast<Extra>(random_.below(kExtraCount - 1)),
              start + random_.below(static_cast<int>(kPositionsPerBar)));
      }
    }
  }

  // Before the first note: the alignment marker's place, the expression pedal's position and,
  // for a stream of every kind, one of each rarer event.
  void beginning() {
    if (options_.alignMarker) {
      schedule(msAt(kPositionsPerBeat), Order::Marker, Role::Other, {kMarker, kAlignMarker});
    }
    if (options_.expression && expressionChannel_ != 0) {
      control(0, expressionChannel_, kExpression, expression_);
    }
    if (options_.everyKind) {
      for (int kind = 0; kind < kExtraCount; ++kind) extra(static_cast<Extra>(kind), 0);
    }
  }

  const Chord& chordAt(std::int64_t position) const noexcept {
    return chords_[(position % kPositionsPerBar) < 2 * kPositionsPerBeat ? 0 : 1];
  }

  // The next note of the scale above (direction 1) or below (-1).
  int scaleStep(int note, int direction) const noexcept {
    for (int candidate = note + direction;; candidate += direction) {
      const int degree = pitchClass(candidate - tonic_);
      if (std::find(kMajorScale.begin(), kMajorScale.end(), degree) != kMajorScale.end()) {
        return candidate;
      }
    }
  }

  static bool inChord(int note, const Chord& chord, int tones = 3) noexcept {
    return std::find(chord.begin(), chord.begin() + tones, pitchClass(note)) !=
           chord.begin() + tones;
  }

  static int nearestChordTone(int note, const Chord& chord) noexcept {
    for (int distance = 0; distance < 12; ++distance) {
      if (inChord(note - distance, chord)) return note - distance;
      if (inChord(note + distance, chord)) return note + distance;
    }
    return note;
  }

  // A chord tone below `note`, at most an octave down.
  static int chordToneBelow(int note, const Chord& chord) noexcept {
    for (int candidate = note - 3; candidate > note - 12; --candidate) {
      if (inChord(candidate, chord)) return candidate;
    }
    return note - 12;
  }

  // A melody, beat by beat, in rhythmic cells; strong beats lean on chord tones, and some
  // notes get one or two chord tones added under them.
  void melody(Part& part, std::int64_t barStart, bool lastBarOfPhrase) {
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

  std::int64_t busyUntil(const Part& part) const noexcept {
    return busy_[static_cast<std::size_t>(part.channel - 1)];
  }

  // The chord's tones placed at or above `floor`, one each.
  static std::array<int, 4> voicing(const Chord& chord, int floor, int tones) noexcept {
    std::array<int, 4> notes{};
    for (std::size_t k = 0; k < static_cast<std::size_t>(tones); ++k) {
      notes[k] = floor + pitchClass(chord[k] - floor);
    }
    return notes;
  }

  void playChord(const Part& part, std::int64_t start, std::int64_t end, int floor) {
    const Chord& harmony = chordAt(start);
    const int tones = random_.chance(25) ? 4 : 3;
    const std::array<int, 4> notes = voicing(harmony, floor, tones);
    const int velocity = part.velocity + random_.between(-6, 6);
    for (std::size_t k = 0; k < static_cast<std::size_t>(tones); ++k) {
      play(part.channel, start, end, notes[k], velocity, true);
    }
  }

  // Lower manual: the bar's chords, held, on every beat, off the beat or on two and four.
  void lowerChords(const Part& part, std::int64_t barStart) {
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
  void pad(const Part& part, std::int64_t barStart) {
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

  int bassNote(int pitch) const noexcept {
    int note = 36 + pitchClass(pitch);
    while (note > 55) note -= 12;
    return note;
  }

  // Pedal: roots and fifths, one note at a time; the next note never starts before the last
  // one is released.
  void pedal(const Part& part, std::int64_t barStart) {
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
           part.velocity + random_.between(-8, 8), true, !options_.pedalWithoutReleases);
    }
  }

  void hit(const Part& part, std::int64_t position, int note, int velocity) {
    play(part.channel, position, position + 2, std::clamp(note, part.low, part.high),
         std::clamp(velocity, 1, 127), false);
  }

  // The rhythm unit: a pattern per style, a crash at the top of a phrase, a tom fill at the end.
  void drums(const Part& part, std::int64_t barStart, bool phraseStart, bool phraseEnd) {
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
          hit(part, at + 12, beat == 3 && random_.chance(40) ? 46 : 42,
              60 + random_.between(0, 10));
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
          for (std::int64_t i = 0; i < 4; ++i)
            hit(part, at + 6 * i, 69, 45 + random_.between(0, 20));
          if (beat != 1) hit(part, at + (beat == 0 ? 0 : 12), 75, 80);
          break;
      }
    }
  }

  // The expression pedal moves smoothly to a new place within the bar.
  void expressionSwell(std::int64_t barStart) {
    const int target = random_.between(45, 127);
    const int steps = random_.between(4, 12);
    std::int64_t position = barStart + random_.between(0, 36);
    const int from = expression_;
    for (int i = 1; i <= steps && position < barStart + kPositionsPerBar; ++i) {
      const int value = from + (target - from) * i / steps;
      if (value != expression_) {
        control(msAt(position) + humanJitter(), expressionChannel_, kExpression, value);
        expression_ = value;
      }
      position += random_.between(2, 5);
    }
  }

  int randomChannel() noexcept {
    return parts_[static_cast<std::size_t>(random_.below(static_cast<int>(parts_.size())))].channel;
  }

  void extra(Extra kind, std::int64_t position) {
    const std::int64_t ms = msAt(position) + humanJitter();
    const bool opening = position == 0;
    switch (kind) {
      case Extra::SystemExclusive: {
        // Mostly short registration messages, now and then a long dump.
        Scheduled event;
        event.key = sortKey(ms, Order::Other);
        event.sequence = sequence_++;
        event.role = Role::SystemExclusive;
        event.payload = static_cast<std::uint16_t>(
            random_.chance(10) ? random_.between(100, static_cast<int>(kLongestExclusivePayload))
                               : random_.between(3, 24));
        pending_.push_back(event);
        return;
      }
      case Extra::SystemF1:
        schedule(ms, Order::Other, Role::Other, {0xF1, dataByte(random_.below(128))});
        return;
      case Extra::PipeMarker:
        schedule(ms, Order::Other, Role::Other, {kMarker, kPipeMarker});
        return;
      case Extra::SystemF2:
        schedule(ms, Order::Other, Role::Other, {0xF2});
        return;
      case Extra::SystemF6:
        schedule(ms, Order::Other, Role::Other, {0xF6});
        return;
      case Extra::OtherMarker: {
        int marker = random_.below(128);
        while (marker == kClockMarker || marker == kAlignMarker || marker == kPipeMarker) {
          marker = random_.below(128);
        }
        schedule(ms, Order::Other, Role::Other, {kMarker, byte(marker)});
        return;
      }
      case Extra::Stray: {
        // A lone data byte, an undefined system byte, or a polyphonic-pressure status alone.
        static constexpr std::array<std::uint8_t, 9> kSystemStrays = {0xF5, 0xF7, 0xF8, 0xF9, 0xFA,
                                                                      0xFB, 0xFC, 0xFD, 0xFF};
        std::uint8_t stray = 0;
        switch (random_.below(3)) {
          case 0:
            stray = dataByte(random_.below(128));
            break;
          case 1:
            stray = random_.pick(kSystemStrays);
            break;
          default:
            stray = byte(kPolyPressure | random_.below(16));
            break;
        }
        schedule(ms, Order::Other, Role::Other, {stray});
        return;
      }
      default:
        break;
    }
    if (parts_.empty()) return;
    const int channel = randomChannel();
    switch (kind) {
      case Extra::FootController:
        control(ms, channel, kFootController, random_.below(128));
        break;
      case Extra::Sustain:
        control(ms, channel, kSustain, opening ? 0 : 127);
        if (!opening) {
          schedule(ms + msFor(random_.between(24, 48)), Order::Other, Role::Reset,
                   {status(kControlChange, channel), kSustain, 0});
        }
        break;
      case Extra::Controller: {
        static constexpr std::array<std::uint8_t, 5> kControllers = {1, 7, 10, 91, 93};
        control(ms, channel, random_.pick(kControllers), random_.below(128));
        break;
      }
      case Extra::ProgramChange:
        schedule(ms, Order::Other, Role::Other,
                 {status(kProgramChange, channel), dataByte(random_.below(128))});
        break;
      case Extra::ChannelPressure:
        schedule(ms, Order::Other, Role::Other,
                 {status(kChannelPressure, channel), dataByte(random_.between(20, 127))});
        schedule(ms + msFor(12), Order::Other, Role::Reset, {status(kChannelPressure, channel), 0});
        break;
      case Extra::PitchBend: {
        const int bend = 8192 + random_.between(-2048, 2048);
        schedule(ms, Order::Other, Role::Other,
                 {status(kPitchBend, channel), dataByte(bend & 0x7F), dataByte(bend >> 7)});
        schedule(ms + msFor(12), Order::Other, Role::Reset, {status(kPitchBend, channel), 0, 0x40});
        break;
      }
      case Extra::AllNotesOff:
        control(ms, channel, kAllNotesOff, 0);
        break;
      default:
        break;
    }
  }

  GeneratorOptions options_;
  Random random_;
  Random payloadRandom_;  // system-exclusive contents, drawn as they are written
  int tempo_;
  std::int64_t endMs_ = 0;
  int jitter_ = 0;
  std::int64_t leadIn_ = 0;  // milliseconds before the first beat

  std::vector<Part> parts_;
  std::array<std::int64_t, 16> busy_{};  // grid position each melody is free again
  int expressionChannel_ = 0;
  int expression_ = 100;
  int tonic_ = 0;
  int chordsPerBar_ = 1;
  std::array<int, 4> progression_{};
  std::array<Chord, 2> chords_{};

  std::vector<Scheduled> pending_;  // in time order up to sorted_, then the bar being composed
  std::vector<Scheduled> merged_;   // room for sorting, kept from bar to bar
  std::size_t sorted_ = 0;
  std::uint32_t sequence_ = 0;
  std::int64_t nextMarkerMs_ = 0;
  std::int64_t markerRemainder_ = 0;  // of the division in msAt, for the next marker
  std::int64_t markerStep_ = 60000 / perMinute();
  std::int64_t markerStepRemainder_ = 60000 % perMinute();
  std::int64_t emittedMs_ = 0;
  std::array<bool, 16 * 128> sounding_{};
  std::vector<std::uint8_t> out_;  // sized ahead; the performance is its first used_ bytes
  std::size_t used_ = 0;
};

}  // namespace

std::vector<std::uint8_t> generatePerformance(const GeneratorOptions& options) {
  return Generator(options).run();
}

}  // namespace koralux
