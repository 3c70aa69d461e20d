#pragma once
// The whole performance, on request: besides the organ's own parts, many performances carry a
// backing arrangement for the organ's built-in XG tone generator on channels 5 to 14, with the
// tone generator's system-exclusive set-up, and program changes on channel 16 that switch the
// organ's registration memory. With ConversionSettings::xgParts a conversion writes one track
// per backing channel that played ("XG Part 5"), one track of set-up messages ("XG Setup") and
// a marker "Registration N" in the conductor track for each registration change.

#include <array>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/timebase.hpp"
#include "evt/performance_event.hpp"

namespace koralux {

class SmfWriter;
class ChannelActivity;

inline constexpr int kFirstXgChannel = 5;
inline constexpr int kLastXgChannel = 14;
// Program changes on this channel switch the organ's registration memory.
inline constexpr int kRegistrationChannel = 16;

// Whether a system-exclusive message (the bytes after F0) is one for the tone generator: an XG
// message (43 1n 4C ...) or a universal one (7E ... or 7F ...), complete with its F7 and with
// 7-bit data. The organ's own messages, and messages cut off by the reader's limit, are not.
bool isSetupMessage(std::span<const std::uint8_t> message) noexcept;

struct RegistrationChange {
  std::int64_t milliseconds = 0;  // time in the performance: the sum of the timing events before
  int number = 1;                 // registration memory: the program + 1
};

// What the analysis pass learns of the backing and the registrations.
struct XgActivity {
  std::array<std::int64_t, kLastChannel + 1> programChanges{};  // by channel 1 to 16
  std::vector<RegistrationChange> registrations;                // in order
  std::int64_t setupMessages = 0;

  void recordProgramChange(int channel, int program, std::int64_t milliseconds);
  // A backing channel played when it struck a note (velocity above 0) or changed its program.
  bool played(int channel, const ChannelActivity& activity) const noexcept;
};

// One track the XG transcription writes: the set-up (channel 0) or a backing part.
struct XgTrack {
  int channel = 0;
  std::string name;        // "XG Setup", "XG Part 5"
  std::string statusText;  // "Status: Transcribing XG Setup", ...
};

// The tracks a conversion with the option writes after the organ's parts, in order: the set-up
// when there is any (so that a player gets it before the notes of the same instant), then a
// part for every backing channel that played, by channel.
std::vector<XgTrack> plannedXgTracks(const XgActivity& xg, const ChannelActivity& activity);

// Transcribes the backing, the set-up and the registration changes in the reading of the input
// that transcribes the organ's parts, with the same clock and the same timing rule. The backing
// is kept as played: velocities unscaled, every controller, program change, pitch bend and
// channel pressure, on its own channel.
class XgTranscription {
 public:
  // `conductor` holds the conductor track, left open by the analysis pass; `writers` receive
  // `tracks`, one each. Both spans must outlive the transcription.
  XgTranscription(SmfWriter& conductor, std::span<const XgTrack> tracks,
                  std::span<SmfWriter* const> writers, Tick songStartOffset, bool legacyTiming);

  // Whether the transcription wants `event`; cheap enough to ask for every event.
  static bool takes(const PerformanceEvent& event) noexcept {
    if (event.kind == EventKind::SystemExclusive) return true;
    if (event.channel == kRegistrationChannel) return event.kind == EventKind::ProgramChange;
    return event.channel >= kFirstXgChannel && event.channel <= kLastXgChannel &&
           event.kind >= EventKind::FootController && event.kind <= EventKind::PitchBend &&
           event.kind != EventKind::OtherMarker;
  }

  // Begins every track with its name at the song start.
  void begin();
  // With the legacy timing: the clock gave `time` (see PartTranscriber::followTime).
  void followTime(Tick time) noexcept;
  // An event that takes() accepted, at `now`; `message` is the bytes after F0 of a
  // system-exclusive event.
  void handle(const PerformanceEvent& event, Tick now, std::span<const std::uint8_t> message);
  // Ends every track, and the conductor track after its last marker.
  void end(Tick now);
  // The input failed: no track can be finished.
  void failAll(const std::exception_ptr& failure) noexcept;

  // For track i: the note-ons it took, or the error that ended it.
  std::int64_t noteOnCount(std::size_t i) const noexcept { return tracks_[i].noteOns; }
  const std::exception_ptr& failure(std::size_t i) const noexcept { return tracks_[i].failure; }
  // The error that ended the conductor track's markers, if one did.
  const std::exception_ptr& conductorFailure() const noexcept { return conductor_.failure; }

 private:
  struct Track {
    SmfWriter* writer = nullptr;
    int channel = 0;
    std::string_view name;
    std::int64_t noteOns = 0;
    std::exception_ptr failure;
  };
  // Runs `step` on a track's writer unless it has failed; a failure ends that track alone.
  template <typename Step>
  void write(Track& track, Tick now, Step&& step);

  std::vector<Track> tracks_;
  Track conductor_;
  std::array<std::size_t, kLastChannel + 1> trackByChannel_{};  // 0: none, else index + 1
  std::size_t setupTrack_ = 0;                                  // 0: none, else index + 1
  Tick songStartOffset_;
  bool legacyTiming_;
};

}  // namespace koralux
