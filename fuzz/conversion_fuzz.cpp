// Fuzz target: the whole conversion in memory, over any bytes taken as a performance file.
// The settings come from the first bytes of the file's header, which the converter never reads:
//   byte 0: bit 0 rhythm unit absent, bit 1 legacy timing, bit 2 XG parts and registrations,
//           bit 7 take bytes 1 to 4 as they are
//           (out of range or not) instead of folding them into the ranges the converter accepts;
//   byte 1: time-signature numerator; byte 2: denominator; byte 3: sharps (negative: flats);
//   byte 4: minor.
// Every input either fails with FatalStop (naming the performance, or the setting that is out of
// range) or yields a MIDI file that the strict checker accepts, whose track count and note-ons
// agree with the summary, after observer calls in their order. System-exclusive events appear
// only in an "XG Setup" track and markers only in the conductor track, both only with the XG
// option.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/part_schedule.hpp"
#include "engine/xg_activity.hpp"
#include "evt/performance_reader.hpp"
#include "fuzz/fuzz_check.hpp"
#include "smf/smf_writer.hpp"
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
  settings.xgParts = (flags & 0x04) != 0;
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
    const bool setup = text == "Status: Transcribing XG Setup";
    const bool backing = text.starts_with("Status: Transcribing XG Part ");
    require(scheduled || setup || backing,
            "a part's status is one of the schedule's texts or an XG track's");
    require(!setup || parts_ == 0, "the XG set-up comes before every part");
    require(!scheduled || backingParts_ == 0, "the backing's parts come after the organ's");
    if (setup || backing) ++xgParts_;
    if (backing) ++backingParts_;
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
  int xgParts() const { return xgParts_; }
  std::int64_t total() const { return total_; }
  std::int64_t done() const { return done_; }

 private:
  bool begun_ = false;
  bool inPart_ = false;
  bool finished_ = false;
  int parts_ = 0;
  int xgParts_ = 0;
  int backingParts_ = 0;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
};

std::size_t quantity(std::span<const std::uint8_t> midi, std::size_t& p) {
  std::size_t value = 0;
  while (midi[p] & 0x80) value = (value << 7) | (midi[p++] & 0x7Fu);
  return (value << 7) | midi[p++];
}

// What the tracks of a file that the strict checker has accepted hold.
struct TrackContents {
  std::int64_t noteOnsInParts = 0;  // note-on events outside the conductor track
  bool markerOutsideConductor = false;
  std::int64_t markers = 0;
  std::int64_t systemExclusives = 0;
  bool systemExclusiveOutsideSetup = false;
};

TrackContents contents(std::span<const std::uint8_t> midi) {
  TrackContents found;
  std::size_t at = 14;
  for (int track = 0; at < midi.size(); ++track) {
    const std::size_t length = (std::size_t{midi[at + 4]} << 24) |
                               (std::size_t{midi[at + 5]} << 16) |
                               (std::size_t{midi[at + 6]} << 8) | midi[at + 7];
    std::size_t p = at + 8;
    const std::size_t end = p + length;
    bool setupTrack = false;
    while (p < end) {
      quantity(midi, p);  // delta time
      const std::uint8_t status = midi[p++];
      if (status == 0xFF) {
        const std::uint8_t type = midi[p++];
        const std::size_t size = quantity(midi, p);
        const std::string_view text(reinterpret_cast<const char*>(midi.data() + p), size);
        if (type == 0x03 && text == "XG Setup") setupTrack = true;
        if (type == 0x06) {
          ++found.markers;
          found.markerOutsideConductor = found.markerOutsideConductor || track > 0;
        }
        p += size;
      } else if (status == 0xF0 || status == 0xF7) {
        ++found.systemExclusives;
        found.systemExclusiveOutsideSetup = found.systemExclusiveOutsideSetup || !setupTrack;
        p += quantity(midi, p);
      } else {
        if ((status >> 4) == 0x9 && track > 0) ++found.noteOnsInParts;
        p += (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
      }
    }
    at = end;
  }
  return found;
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
  const TrackContents found = contents(result.midi);
  require(found.noteOnsInParts == summary.notesTranscribed,
          "every note-on a part took is written, once");
  const bool xgParts = fuzz.settings.xgParts;
  require(xgParts || observer.xgParts() == 0, "XG tracks only with the option");
  require(!found.markerOutsideConductor, "markers only in the conductor track");
  require(!found.systemExclusiveOutsideSetup, "system-exclusive events only in the XG Setup track");
  require(xgParts || (found.markers == 0 && found.systemExclusives == 0),
          "without the option neither markers nor system-exclusive events");
  if (xgParts) {
    // The same performance analysed again: one marker per registration change.
    SmfWriter scratch;
    scratch.create();
    PerformanceReader reader(bytes, kLabel);
    const AnalysisResults analysis = runAnalysisPass(reader, scratch, {}, {});
    require(found.markers == static_cast<std::int64_t>(analysis.xg.registrations.size()),
            "one marker for each registration change");
    require(found.systemExclusives == analysis.xg.setupMessages,
            "one system-exclusive event for each set-up message");
  }
}

}  // namespace
}  // namespace koralux::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  koralux::fuzz::convert(std::span<const std::uint8_t>(data, size));
  return 0;
}
