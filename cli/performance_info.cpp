#include "cli/performance_info.hpp"

#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/output_check.hpp"
#include "common/failure_message.hpp"
#include "common/file_io.hpp"
#include "engine/part_schedule.hpp"
#include "engine/xg_parts.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux::cli {

namespace {

// The channels the analysis counts notes on; channel 16 is never counted nor transcribed.
constexpr int kLastCountedChannel = 15;

std::string_view verdictName(PartVerdict verdict) {
  switch (verdict) {
    case PartVerdict::Absent:
      return "Absent";
    case PartVerdict::Balanced:
      return "Balanced";
    case PartVerdict::OnHeavy:
      return "OnHeavy";
  }
  return "Balanced";
}

std::string secondsText(std::int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                static_cast<long long>(milliseconds % 1000));
  return text;
}

// Label in a column of its own, then the value.
std::string line(std::string_view label, const std::string& value) {
  std::string text(label);
  text.resize(17, ' ');
  return text + value + '\n';
}

std::string padded(std::string text, std::size_t width, bool right = false) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

std::string alignmentText(const AnalysisResults& analysis) {
  if (analysis.alignTick > 0) {
    return "tick " + std::to_string(analysis.alignTick) + " (after " +
           std::to_string(analysis.alignTick / kTicksPerClockMarker) + " clock markers)";
  }
  if (analysis.events(EventKind::AlignMarker) > 0) {
    return "none: no alignment marker follows a clock marker";
  }
  return "none: the file has no alignment marker";
}

std::string songStartText(const AnalysisResults& analysis) {
  const std::string offset = std::to_string(analysis.songStartOffset) + " ticks";
  if (analysis.alignTick > 0) {
    return offset + " (the alignment point lands at tick " +
           std::to_string(analysis.alignTick - analysis.songStartOffset) + ")";
  }
  return offset + " (the performance starts at tick " + std::to_string(-analysis.songStartOffset) +
         ")";
}

std::string partSource(const PlannedPart& part) {
  std::string text = "from channel " + std::to_string(part.source);
  if (part.destination != part.source) text += " onto " + std::to_string(part.destination);
  if (part.mono) text += ", mono";
  return text;
}

// The backing, the registration changes and what --xg-parts would add; nothing when the file
// has none of them.
std::string xgText(const PerformanceInfo& info) {
  const XgActivity& xg = info.analysis.xg;
  if (info.xgTracks.empty() && xg.registrations.empty()) return {};
  std::string channels;
  for (const PlannedXgTrack& track : info.xgTracks) {
    if (track.channel == 0) continue;
    channels += (channels.empty() ? "" : ", ") + std::to_string(track.channel);
  }
  std::string text = line("XG channels:", channels.empty() ? "none" : channels);
  text += line("Registrations:", std::to_string(xg.registrations.size()) +
                                     (xg.registrations.size() == 1 ? " change" : " changes"));
  for (const RegistrationChange& change : xg.registrations) {
    text += "  " + padded(secondsText(change.milliseconds) + " s", 15) + "Registration " +
            std::to_string(change.number) + '\n';
  }
  const std::int64_t notes = info.notesTranscribed() + info.xgNotes();
  text += line("With --xg-parts:",
               std::to_string(info.tracks() + static_cast<int>(info.xgTracks.size())) +
                   " tracks, " + std::to_string(notes) + " of " +
                   std::to_string(info.analysis.noteOnCount) + " notes");
  for (const PlannedXgTrack& track : info.xgTracks) {
    text += "  " + padded(track.name, 12);
    if (track.channel == 0) {
      text += std::to_string(xg.setupMessages) +
              (xg.setupMessages == 1 ? " set-up message\n" : " set-up messages\n");
    } else {
      text += padded("from channel " + std::to_string(track.channel), 28) +
              padded(std::to_string(track.notes), 8, true) +
              (track.notes == 1 ? " note\n" : " notes\n");
    }
  }
  if (!xg.registrations.empty()) {
    text += "  " + std::to_string(xg.registrations.size()) +
            (xg.registrations.size() == 1 ? " marker" : " markers") + " in the conductor track\n";
  }
  if (const std::int64_t left = info.xgNotes(); left > 0) {
    text += std::to_string(left) +
            (left == 1 ? " note on channels 5–14 is left out; add --xg-parts to keep it\n"
                       : " notes on channels 5–14 are left out; add --xg-parts to keep them\n");
  }
  return text;
}

}  // namespace

std::int64_t PerformanceInfo::notesTranscribed() const noexcept {
  std::int64_t total = 0;
  for (const PlannedPart& part : parts) total += part.notes;
  return total;
}

std::int64_t PerformanceInfo::xgNotes() const noexcept {
  std::int64_t total = 0;
  for (const PlannedXgTrack& track : xgTracks) total += track.notes;
  return total;
}

PerformanceInfo describePerformance(const std::string& path) {
  PerformanceInfo info;
  info.path = path;
  const std::vector<std::uint8_t> bytes = readWholeFile(path);
  info.sizeBytes = bytes.size();
  PerformanceReader reader(bytes, path);
  // The conductor track is written and thrown away; only the analysis is kept.
  SmfWriter writer(path);
  writer.create();
  info.analysis = runAnalysisPass(reader, writer, {}, {});
  for (const PartScheduleRow& row : PartSchedule) {
    if (!row.runsFor(info.analysis.activity.verdict(row.verdictChannel))) continue;
    const TranscriptionParameters& p = row.parameters;
    info.parts.push_back(
        {p.trackName, p.source, p.destination, p.mono, info.analysis.noteOns(p.source)});
  }
  for (const XgTrack& track : plannedXgTracks(info.analysis.xg, info.analysis.activity)) {
    info.xgTracks.push_back({track.name, track.channel, info.analysis.noteOns(track.channel)});
  }
  return info;
}

void writeInfoText(std::ostream& out, const PerformanceInfo& info) {
  const AnalysisResults& a = info.analysis;
  std::string text = line("File:", info.path);
  text += line("Size:", std::to_string(info.sizeBytes) + " bytes");
  text += line("Duration:", secondsText(a.milliseconds) + " seconds");
  text += line("Tempo:", std::to_string(a.tempo) + " beats per minute");
  text += line("Alignment point:", alignmentText(a));
  text += line("Song start:", songStartText(a));

  std::int64_t events = 0;
  for (std::int64_t count : a.eventCounts) events += count;
  text += line("Events:", std::to_string(events));
  for (int kind = 0; kind < kEventKindCount; ++kind) {
    const std::int64_t count = a.eventCounts[static_cast<std::size_t>(kind)];
    if (count == 0) continue;
    text += "  " + padded(std::string(eventKindName(static_cast<EventKind>(kind))), 16) +
            padded(std::to_string(count), 10, true) + '\n';
  }

  std::string channels;
  for (int channel = kFirstChannel; channel <= kLastCountedChannel; ++channel) {
    const PartVerdict verdict = a.activity.verdict(channel);
    if (verdict == PartVerdict::Absent) continue;
    channels += "  " + padded(std::to_string(channel), 15) +
                padded(std::to_string(a.activity.sounding(channel)), 8, true) +
                padded(std::to_string(a.activity.released(channel)), 10, true) + "  " +
                std::string(verdictName(verdict)) + '\n';
  }
  text += channels.empty() ? line("Channels:", "no notes")
                           : line("Channels:", "note-ons  releases  verdict") + channels;

  std::string tracks = std::to_string(info.tracks());
  tracks += info.parts.empty() ? " (conductor only)"
                               : " (conductor and " + std::to_string(info.parts.size()) +
                                     (info.parts.size() == 1 ? " part)" : " parts)");
  tracks += ", " + std::to_string(info.notesTranscribed()) + " of " +
            std::to_string(a.noteOnCount) + " notes";
  text += line("Tracks:", tracks);
  for (const PlannedPart& part : info.parts) {
    text += "  " + padded(std::string(part.name), 12) + padded(partSource(part), 28) +
            padded(std::to_string(part.notes), 8, true) +
            (part.notes == 1 ? " note\n" : " notes\n");
  }
  text += xgText(info);
  out << text;
}

void writeInfoJson(std::ostream& out, const std::vector<PerformanceInfo>& infos) {
  using Json = nlohmann::ordered_json;
  Json files = Json::array();
  for (const PerformanceInfo& info : infos) {
    const AnalysisResults& a = info.analysis;
    Json events = Json::object();
    std::int64_t eventCount = 0;
    for (int kind = 0; kind < kEventKindCount; ++kind) {
      const std::int64_t count = a.eventCounts[static_cast<std::size_t>(kind)];
      events[std::string(eventKindName(static_cast<EventKind>(kind)))] = count;
      eventCount += count;
    }
    Json channels = Json::array();
    for (int channel = kFirstChannel; channel <= kLastCountedChannel; ++channel) {
      channels.push_back({{"channel", channel},
                          {"noteOns", a.activity.sounding(channel)},
                          {"releases", a.activity.released(channel)},
                          {"verdict", verdictName(a.activity.verdict(channel))}});
    }
    Json parts = Json::array();
    for (const PlannedPart& part : info.parts) {
      parts.push_back({{"name", part.name},
                       {"sourceChannel", part.source},
                       {"destinationChannel", part.destination},
                       {"mono", part.mono},
                       {"notes", part.notes}});
    }
    Json file = {
        {"file", info.path},
        {"sizeBytes", info.sizeBytes},
        {"milliseconds", a.milliseconds},
        {"durationSeconds", static_cast<double>(a.milliseconds) / 1000.0},
        {"tempo", a.tempo},
        {"alignTick", a.alignTick > 0 ? Json(a.alignTick) : Json(nullptr)},
        {"songStartOffset", a.songStartOffset},
        {"eventCount", eventCount},
        {"events", events},
        {"notesTotal", a.noteOnCount},
        {"channels", channels},
        {"tracks", info.tracks()},
        {"notesTranscribed", info.notesTranscribed()},
        {"parts", parts},
    };
    Json xgChannels = Json::array();
    for (int channel = kFirstXgChannel; channel <= kLastXgChannel; ++channel) {
      if (!a.xg.played(channel, a.activity)) continue;
      xgChannels.push_back(
          {{"channel", channel},
           {"noteOns", a.noteOns(channel)},
           {"programChanges", a.xg.programChanges[static_cast<std::size_t>(channel)]}});
    }
    Json registrations = Json::array();
    for (const RegistrationChange& change : a.xg.registrations) {
      registrations.push_back(
          {{"milliseconds", change.milliseconds}, {"registration", change.number}});
    }
    Json xgTracks = Json::array();
    for (const PlannedXgTrack& track : info.xgTracks) {
      xgTracks.push_back({{"name", track.name},
                          {"channel", track.channel == 0 ? Json(nullptr) : Json(track.channel)},
                          {"notes", track.notes}});
    }
    file["xgChannels"] = xgChannels;
    file["setupMessages"] = a.xg.setupMessages;
    file["registrationChanges"] = registrations;
    file["xgTracks"] = xgTracks;
    file["xgNotes"] = info.xgNotes();
    files.push_back(std::move(file));
  }
  // File names need not be UTF-8; a byte that is not becomes U+FFFD rather than an error.
  out << files.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

int runInfoCommand(const std::vector<std::string>& paths, bool json, bool quiet, std::ostream& out,
                   std::ostream& err) {
  std::vector<PerformanceInfo> described;
  bool failed = false;
  bool first = true;
  for (const std::string& path : paths) {
    try {
      PerformanceInfo info = describePerformance(path);
      if (quiet) continue;
      if (json) {
        described.push_back(std::move(info));
      } else {
        if (!first) out << '\n';
        writeInfoText(out, info);
        out.flush();
        first = false;
      }
    } catch (...) {
      err << "koralux-cli: " << failureMessage(std::current_exception(), path) << '\n';
      failed = true;
    }
  }
  if (json && !quiet) writeInfoJson(out, described);
  if (!quiet && !flushedCleanly(out, err)) return 1;
  return failed ? 1 : 0;
}

}  // namespace koralux::cli
