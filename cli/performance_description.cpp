#include "cli/performance_description.hpp"

#include <nlohmann/json.hpp>

#include "evt/event_kind.hpp"

namespace koralux {

namespace {

using Json = nlohmann::ordered_json;

std::string_view roleName(TrackRole role) {
  switch (role) {
    case TrackRole::OrganPart:
      return "organ";
    case TrackRole::XgSetup:
      return "xgSetup";
    case TrackRole::XgPart:
      return "xgPart";
  }
  return "organ";
}

Json channelOrNull(int channel) {
  return channel == 0 ? Json(nullptr) : Json(channel);
}

Json describe(const PerformanceDescription& description) {
  const ConversionPlan& plan = description.plan;
  const AnalysisResults& a = plan.analysis;
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
  for (const PlannedTrack& track : plan.tracks) {
    parts.push_back({{"name", track.name},
                     {"role", roleName(track.role)},
                     {"sourceChannel", channelOrNull(track.source)},
                     {"destinationChannel", channelOrNull(track.destination)},
                     {"mono", track.mono},
                     {"notes", track.notes}});
  }
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
  Json findings = Json::array();
  for (const Finding& finding : a.findings) {
    findings.push_back({{"code", findingCodeName(finding.code)},
                        {"text", finding.text},
                        {"offset", finding.offset < 0 ? Json(nullptr) : Json(finding.offset)}});
  }
  Json xgTracks = Json::array();
  for (const PlannedTrack& track : plan.backingTracks()) {
    xgTracks.push_back(
        {{"name", track.name}, {"channel", channelOrNull(track.source)}, {"notes", track.notes}});
  }
  return {
      {"file", description.file},
      {"sizeBytes", plan.sizeBytes},
      {"milliseconds", a.milliseconds},
      {"durationSeconds", static_cast<double>(a.milliseconds) / 1000.0},
      {"tempo", a.tempo},
      {"alignTick", a.alignTick > 0 ? Json(a.alignTick) : Json(nullptr)},
      {"songStartOffset", a.songStartOffset},
      {"eventCount", eventCount},
      {"events", events},
      {"notesTotal", a.noteOnCount},
      {"channels", channels},
      {"xgParts", plan.xgParts},
      {"tracks", plan.trackCount()},
      {"notesTranscribed", plan.notesTranscribed()},
      {"parts", parts},
      {"untakenChannels", plan.untakenChannels()},
      {"xgChannels", xgChannels},
      {"setupMessages", a.xg.setupMessages},
      {"registrationChanges", registrations},
      {"xgTracks", xgTracks},
      {"xgNotes", plan.backingNotes()},
      {"findings", findings},
  };
}

// File names need not be UTF-8; a byte that is not becomes U+FFFD rather than an error.
std::string text(const Json& json, int indent) {
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string descriptionJson(const PerformanceDescription& description) {
  return text(describe(description), -1);
}

}  // namespace koralux
