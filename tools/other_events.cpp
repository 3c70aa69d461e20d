#include "tools/other_events.hpp"

#include <array>
#include <utility>

namespace koralux {

namespace {

constexpr std::size_t kLongestExclusivePayload = 510;  // plus the F7: 511 bytes after the F0

std::uint8_t lowByte(int value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

OtherEvents::OtherEvents(Random& random, const BeatGrid& grid, EventSchedule& schedule,
                         std::vector<int> channels, int jitter)
    : random_(random),
      grid_(grid),
      schedule_(schedule),
      channels_(std::move(channels)),
      jitter_(jitter) {}

void OtherEvents::add(OtherEvent kind, std::int64_t position) {
  const std::int64_t ms = grid_.msAt(position) + random_.between(0, jitter_);
  const bool opening = position == 0;
  switch (kind) {
    case OtherEvent::SystemExclusive:
      // Mostly short registration messages, now and then a long dump.
      schedule_.addSystemExclusive(
          ms,
          static_cast<std::uint16_t>(
              random_.chance(10) ? random_.between(100, static_cast<int>(kLongestExclusivePayload))
                                 : random_.between(3, 24)));
      return;
    case OtherEvent::SystemF1:
      schedule_.add(ms, Role::Other, {0xF1, dataByte(random_.below(128))});
      return;
    case OtherEvent::PipeMarker:
      schedule_.add(ms, Role::Other, {kMarker, kPipeMarker});
      return;
    case OtherEvent::SystemF2:
      schedule_.add(ms, Role::Other, {0xF2});
      return;
    case OtherEvent::SystemF6:
      schedule_.add(ms, Role::Other, {0xF6});
      return;
    case OtherEvent::OtherMarker: {
      int marker = random_.below(128);
      while (marker == kClockMarker || marker == kAlignMarker || marker == kPipeMarker) {
        marker = random_.below(128);
      }
      schedule_.add(ms, Role::Other, {kMarker, lowByte(marker)});
      return;
    }
    case OtherEvent::Stray: {
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
          stray = lowByte(kPolyPressure | random_.below(16));
          break;
      }
      schedule_.add(ms, Role::Other, {stray});
      return;
    }
    default:
      break;
  }
  if (channels_.empty()) return;
  const int channel =
      channels_[static_cast<std::size_t>(random_.below(static_cast<int>(channels_.size())))];
  switch (kind) {
    case OtherEvent::FootController:
      schedule_.add(ms, Role::Other, controlChange(channel, kFootController, random_.below(128)));
      break;
    case OtherEvent::Sustain:
      schedule_.add(ms, Role::Other, controlChange(channel, kSustain, opening ? 0 : 127));
      if (!opening) {
        schedule_.add(ms + grid_.msFor(random_.between(24, 48)), Role::Reset,
                      controlChange(channel, kSustain, 0));
      }
      break;
    case OtherEvent::Controller: {
      static constexpr std::array<std::uint8_t, 5> kControllers = {1, 7, 10, 91, 93};
      schedule_.add(ms, Role::Other,
                    controlChange(channel, random_.pick(kControllers), random_.below(128)));
      break;
    }
    case OtherEvent::ProgramChange:
      schedule_.add(ms, Role::Other,
                    {statusByte(kProgramChange, channel), dataByte(random_.below(128))});
      break;
    case OtherEvent::ChannelPressure:
      schedule_.add(ms, Role::Other,
                    {statusByte(kChannelPressure, channel), dataByte(random_.between(20, 127))});
      schedule_.add(ms + grid_.msFor(12), Role::Reset, {statusByte(kChannelPressure, channel), 0});
      break;
    case OtherEvent::PitchBend: {
      const int bend = 8192 + random_.between(-2048, 2048);
      schedule_.add(ms, Role::Other,
                    {statusByte(kPitchBend, channel), dataByte(bend & 0x7F), dataByte(bend >> 7)});
      schedule_.add(ms + grid_.msFor(12), Role::Reset, {statusByte(kPitchBend, channel), 0, 0x40});
      break;
    }
    case OtherEvent::AllNotesOff:
      schedule_.add(ms, Role::Other, controlChange(channel, kAllNotesOff, 0));
      break;
    default:
      break;
  }
}

}  // namespace koralux
