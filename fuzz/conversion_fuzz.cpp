// Fuzz target: the whole conversion in memory, over any bytes taken as a performance file.
// The settings come from the first bytes of the file's header, which the converter never reads:
//   byte 0: bit 0 rhythm unit absent, bit 1 legacy timing, bit 7 take bytes 1 to 4 as they are
//           (out of range or not) instead of folding them into the ranges the converter accepts;
//   byte 1: time-signature numerator; byte 2: denominator; byte 3: sharps (negative: flats);
//   byte 4: minor.
// Every input either fails with FatalStop (naming the performance, or the setting that is out of
// range) or yields a MIDI file that the strict checker accepts, whose track count and note-ons
// agree with the summary, after observer calls in their order.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "engine/part_schedule.hpp"
#include "fuzz/fuzz_check.hpp"
#include "tests/checker/smf_checker.hpp"

namespace koralux::fuzz {
namespace {

constexpr const char* kLabel = "fuzz.evt";

struct FuzzSettings {
  ConversionSettings settings;
  bool inRange = true;
};

FuzzSettings settingsFrom(std::span<const std::uint8_t> bytes) {
  const auto at = [&](std::size_t i) -> std::uint8_t { return i < bytes.size() ? bytes[i] : 0; };
  FuzzSettings out;
  ConversionSettings& settings = out.settings;
  settings.inputPath = kLabel;
  const std::uint8_t flags = at(0);
  settings.rhythmUnitAbsent = (flags & 0x01) != 0;
  settings.legacyTiming = (flags & 0x02) != 0;
  if ((flags & 0x80) != 0) {
    settings.timeNumerator = at(1);
    settings.timeDenominator = at(2);
    settings.keySharpsFlats = static_cast<std::int8_t>(at(3));
    settings.keyMinor = at(4);
    out.inRange = settings.timeNumerator >= 1 && settings.timeDenominator >= 1 &&
                  settings.timeDenominator <= 128 && settings.keySharpsFlats >= -7 &&
                  settings.keySharpsFlats <= 7 && settings.keyMinor <= 1;
  } else {
    settings.timeNumerator = static_cast<std::uint8_t>(1 + at(1) % 255);
    settings.timeDenominator = static_cast<std::uint8_t>(1 + at(2) % 128);
    settings.keySharpsFlats = static_cast<std::int8_t>(at(3) % 15 - 7);
    settings.keyMinor = at(4) & 1;
  }
  return out;
}

// Checks that the calls come in their order: progressBegin once, then status and partDone for
// each part, then the final status.
class OrderObserver final : public ConversionObserver {
 public:
  void status(std::string_view text) override {
    require(begun_ && !inPart_ && !finished_, "status comes after progressBegin, between parts");
    if (text == kFinishedStatus) {
      finished_ = true;
      return;
    }
    bool scheduled = false;
    for (const PartScheduleRow& row : PartSchedule) scheduled = scheduled || row.statusText == text;
    require(scheduled, "a part's status is one of the schedule's texts");
    inPart_ = true;
    ++parts_;
  }
  void progressBegin(std::int64_t total) override {
    require(!begun_ && total >= 0, "progressBegin comes once, with a count");
    begun_ = true;
    total_ = total;
  }
  void partDone(std::int64_t count) override {
    require(inPart_ && count >= 0, "partDone follows its part's status, with a count");
    inPart_ = false;
    done_ += count;
  }

  bool finished() const { return finished_; }
  bool inPart() const { return inPart_; }
  int parts() const { return parts_; }
  std::int64_t total() const { return total_; }
  std::int64_t done() const { return done_; }

 private:
  bool begun_ = false;
  bool inPart_ = false;
  bool finished_ = false;
  int parts_ = 0;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
};

std::size_t quantity(std::span<const std::uint8_t> midi, std::size_t& p) {
  std::size_t value = 0;
  while (midi[p] & 0x80) value = (value << 7) | (midi[p++] & 0x7Fu);
  return (value << 7) | midi[p++];
}

// Note-on events in the part tracks of a file that the strict checker has accepted.
std::int64_t noteOnsInParts(std::span<const std::uint8_t> midi) {
  std::int64_t count = 0;
  std::size_t at = 14;
  for (int track = 0; at < midi.size(); ++track) {
    const std::size_t length = (std::size_t{midi[at + 4]} << 24) |
                               (std::size_t{midi[at + 5]} << 16) |
                               (std::size_t{midi[at + 6]} << 8) | midi[at + 7];
    std::size_t p = at + 8;
    const std::size_t end = p + length;
    while (p < end) {
      quantity(midi, p);  // delta time
      const std::uint8_t status = midi[p++];
      if (status == 0xFF) {
        ++p;  // type
        p += quantity(midi, p);
      } else if (status == 0xF0 || status == 0xF7) {
        broken("the converter writes no system-exclusive events");
      } else {
        if ((status >> 4) == 0x9 && track > 0) ++count;
        p += (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
      }
    }
    at = end;
  }
  return count;
}

void convert(std::span<const std::uint8_t> bytes) {
  const FuzzSettings fuzz = settingsFrom(bytes);
  OrderObserver observer;
  ConversionResult result;
  try {
    result = convertPerformance(bytes, fuzz.settings, observer);
  } catch (const FatalStop& error) {
    require(!observer.finished(), "a failed conversion does not report Finished");
    require(!error.description().empty(), "the error says what went wrong");
    if (fuzz.inRange) {
      require(error.label() == kLabel, "the error names the performance");
    } else {
      require(error.label().empty() || error.label() == kLabel,
              "the error names the performance or the setting");
    }
    return;
  }
  require(fuzz.inRange, "settings out of range are refused");
  if (const std::string defect = test::smfDefect(result.midi); !defect.empty()) {
    broken("the output is not a sound MIDI file: " + defect);
  }
  require(observer.finished() && !observer.inPart(), "the conversion reports Finished last");
  const ConversionSummary& summary = result.summary;
  require(summary.tracks == 1 + observer.parts(), "one track for the conductor and each part");
  require(((result.midi[10] << 8) | result.midi[11]) == summary.tracks,
          "the header's track count is the summary's");
  require(summary.notesTotal == observer.total(), "progressBegin gives the note-on count");
  require(summary.notesTranscribed == observer.done(), "partDone counts add up to the summary");
  require(summary.notesTranscribed <= summary.notesTotal,
          "the parts take no more note-ons than the file holds");
  require(noteOnsInParts(result.midi) == summary.notesTranscribed,
          "every note-on a part took is written, once");
}

}  // namespace
}  // namespace koralux::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  koralux::fuzz::convert(std::span<const std::uint8_t>(data, size));
  return 0;
}
