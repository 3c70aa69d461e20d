#include "engine/xg_parts.hpp"

#include <algorithm>

#include "common/fatal_stop.hpp"
#include "engine/channel_activity.hpp"
#include "engine/performance_clock.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {
constexpr std::uint8_t kYamaha = 0x43;
constexpr std::uint8_t kXgModel = 0x4C;
constexpr std::uint8_t kUniversalNonRealTime = 0x7E;
constexpr std::uint8_t kUniversalRealTime = 0x7F;
constexpr std::uint8_t kEndOfExclusive = 0xF7;
}  // namespace

bool isSetupMessage(std::span<const std::uint8_t> message) noexcept {
  if (message.size() < 2 || message.back() != kEndOfExclusive) return false;
  const std::span<const std::uint8_t> data = message.first(message.size() - 1);
  if (std::any_of(data.begin(), data.end(), [](std::uint8_t byte) { return byte >= 0x80; })) {
    return false;
  }
  const bool universal = data[0] == kUniversalNonRealTime || data[0] == kUniversalRealTime;
  // 43 1n 4C: Yamaha, device number n, the XG model.
  const bool xg =
      data.size() >= 3 && data[0] == kYamaha && (data[1] & 0xF0) == 0x10 && data[2] == kXgModel;
  return universal || xg;
}

void XgActivity::recordProgramChange(int channel, int program, std::int64_t milliseconds) {
  if (channel < kFirstChannel || channel > kLastChannel) return;
  ++programChanges[static_cast<std::size_t>(channel)];
  // A MIDI program is 7 bits; the reader does not mask the data byte.
  if (channel == kRegistrationChannel)
    registrations.push_back({milliseconds, (program & 0x7F) + 1});
}

bool XgActivity::played(int channel, const ChannelActivity& activity) const noexcept {
  return channel >= kFirstXgChannel && channel <= kLastXgChannel &&
         (activity.sounding(channel) > 0 || programChanges[static_cast<std::size_t>(channel)] > 0);
}

std::vector<XgTrack> plannedXgTracks(const XgActivity& xg, const ChannelActivity& activity) {
  std::vector<XgTrack> tracks;
  if (xg.setupMessages > 0) tracks.push_back({0, "XG Setup", "Status: Transcribing XG Setup"});
  for (int channel = kFirstXgChannel; channel <= kLastXgChannel; ++channel) {
    if (!xg.played(channel, activity)) continue;
    const std::string name = "XG Part " + std::to_string(channel);
    tracks.push_back({channel, name, "Status: Transcribing " + name});
  }
  return tracks;
}

XgTranscription::XgTranscription(SmfWriter& conductor, std::span<const XgTrack> tracks,
                                 std::span<SmfWriter* const> writers, Tick songStartOffset,
                                 bool legacyTiming)
    : songStartOffset_(songStartOffset), legacyTiming_(legacyTiming) {
  conductor_.writer = &conductor;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    tracks_.push_back({writers[i], tracks[i].channel, tracks[i].name, 0, {}});
    if (tracks[i].channel == 0) {
      setupTrack_ = i + 1;
    } else {
      trackByChannel_[static_cast<std::size_t>(tracks[i].channel)] = i + 1;
    }
  }
}

template <typename Step>
void XgTranscription::write(Track& track, Tick now, Step&& step) {
  if (track.failure) return;
  try {
    // The parts-in-step rule of the organ's parts: a time below the track's last event is
    // raised to it (see PartTranscriber).
    if (!legacyTiming_ && now != kNoClockYet) {
      track.writer->setTime(std::max(now, track.writer->lastTime()));
    }
    step(*track.writer);
  } catch (const FatalStop&) {
    track.failure = std::current_exception();
  }
}

void XgTranscription::begin() {
  for (Track& track : tracks_) {
    write(track, kNoClockYet, [&](SmfWriter& writer) {
      writer.beginTrack();
      writer.resetClock();
      // As in the organ's parts: the prologue at delta 0, every later event one song-start
      // shift later.
      writer.setTime(songStartOffset_);
      writer.trackName(track.name);
      writer.midiPort(0);
      if (track.channel != 0) writer.channelPrefix(track.channel);
    });
  }
}

void XgTranscription::followTime(Tick time) noexcept {
  if (!legacyTiming_) return;
  conductor_.writer->setTime(time);
  for (Track& track : tracks_) track.writer->setTime(time);
}

void XgTranscription::handle(const PerformanceEvent& event, Tick now,
                             std::span<const std::uint8_t> message) {
  if (event.kind == EventKind::SystemExclusive) {
    if (setupTrack_ != 0 && isSetupMessage(message)) {
      write(tracks_[setupTrack_ - 1], now,
            [&](SmfWriter& writer) { writer.systemExclusive(message); });
    }
    return;
  }
  if (event.channel == kRegistrationChannel) {  // a program change: takes() lets no other by
    write(conductor_, now, [&](SmfWriter& writer) {
      writer.marker("Registration " + std::to_string((event.data1 & 0x7F) + 1));
    });
    return;
  }
  const std::size_t index = trackByChannel_[static_cast<std::size_t>(event.channel)];
  if (index == 0) return;
  Track& track = tracks_[index - 1];
  const int channel = event.channel;
  switch (event.kind) {
    case EventKind::NoteOn:
      ++track.noteOns;
      write(track, now,
            [&](SmfWriter& writer) { writer.noteOn(channel, event.data1, event.data2); });
      break;
    case EventKind::NoteOff:
      write(track, now,
            [&](SmfWriter& writer) { writer.noteOff(channel, event.data1, event.data2); });
      break;
    case EventKind::ProgramChange:
      write(track, now, [&](SmfWriter& writer) { writer.programChange(channel, event.data1); });
      break;
    case EventKind::ChannelPressure:
      write(track, now, [&](SmfWriter& writer) { writer.channelPressure(channel, event.data1); });
      break;
    case EventKind::PitchBend:
      write(track, now,
            [&](SmfWriter& writer) { writer.pitchBend(channel, event.data1, event.data2); });
      break;
    default:  // every controller, as it came
      write(track, now,
            [&](SmfWriter& writer) { writer.controlChange(channel, event.data1, event.data2); });
      break;
  }
}

void XgTranscription::end(Tick now) {
  for (Track& track : tracks_) {
    // The end follows the last time set, as in the organ's parts.
    write(track, now, [](SmfWriter& writer) { writer.endTrack(); });
  }
  // The conductor track ends with its last marker (or where the analysis pass left it).
  write(conductor_, kNoClockYet, [](SmfWriter& writer) {
    writer.setTime(writer.lastTime());
    writer.endTrack();
  });
}

void XgTranscription::failAll(const std::exception_ptr& failure) noexcept {
  for (Track& track : tracks_) {
    if (!track.failure) track.failure = failure;
  }
  if (!conductor_.failure) conductor_.failure = failure;
}

}  // namespace koralux
