#include "engine/conversion_plan.hpp"

#include <algorithm>
#include <array>

#include "engine/part_schedule.hpp"
#include "engine/setting_ranges.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {

PlannedTrack backingPart(int channel, const AnalysisResults& analysis) {
  const std::string name = "XG Part " + std::to_string(channel);
  PlannedTrack track;
  track.role = TrackRole::XgPart;
  track.name = name;
  track.statusText = "Status: Transcribing " + name;
  track.source = channel;
  track.destination = channel;
  track.notes = analysis.noteOns(channel);
  return track;
}

}  // namespace

PlannedTrack organPart(const PartScheduleRow& row) {
  return organPart(row.parameters, row.statusText);
}

PlannedTrack organPart(const TranscriptionParameters& p, std::string_view statusText) {
  PlannedTrack track;
  track.name = p.trackName;
  track.statusText = statusText;
  track.source = p.source;
  track.destination = p.destination;
  track.mono = p.mono;
  track.pan = p.pan;
  track.program = p.program;
  return track;
}

std::vector<PlannedTrack> plannedTracks(const AnalysisResults& analysis, bool xgParts) {
  std::vector<PlannedTrack> tracks;
  const XgActivity& xg = analysis.xg;
  if (xgParts && xg.setupMessages > 0) {
    PlannedTrack setup;
    setup.role = TrackRole::XgSetup;
    setup.name = "XG Setup";
    setup.statusText = "Status: Transcribing XG Setup";
    tracks.push_back(std::move(setup));
  }
  std::array<bool, kLastChannel + 1> backing{};
  if (xgParts) {
    for (int channel = kFirstXgChannel; channel <= kLastXgChannel; ++channel) {
      backing[static_cast<std::size_t>(channel)] = xg.played(channel, analysis.activity);
    }
  }
  for (const PartScheduleRow& row : PartSchedule) {
    if (!row.runsFor(analysis.activity.verdict(row.verdictChannel))) continue;
    PlannedTrack part = organPart(row);
    part.notes = analysis.noteOns(part.source);
    part.setsChannel = !backing[static_cast<std::size_t>(part.destination)];
    tracks.push_back(std::move(part));
  }
  for (int channel = kFirstXgChannel; channel <= kLastXgChannel; ++channel) {
    if (backing[static_cast<std::size_t>(channel)]) {
      tracks.push_back(backingPart(channel, analysis));
    }
  }
  return tracks;
}

std::int64_t ConversionPlan::notesTranscribed() const noexcept {
  std::int64_t total = 0;
  for (const PlannedTrack& track : tracks) total += track.notes;
  return total;
}

std::vector<int> ConversionPlan::untakenChannels() const {
  std::vector<int> channels;
  for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
    const bool taken = std::any_of(tracks.begin(), tracks.end(), [&](const PlannedTrack& track) {
      return track.source == channel;
    });
    if (analysis.noteOns(channel) > 0 && !taken) channels.push_back(channel);
  }
  return channels;
}

std::vector<PlannedTrack> ConversionPlan::backingTracks() const {
  std::vector<PlannedTrack> backing;
  for (PlannedTrack& track : plannedTracks(analysis, true)) {
    if (track.role != TrackRole::OrganPart) backing.push_back(std::move(track));
  }
  return backing;
}

std::int64_t ConversionPlan::backingNotes() const {
  std::int64_t total = 0;
  for (const PlannedTrack& track : backingTracks()) total += track.notes;
  return total;
}

ConversionPlan planConversion(std::span<const std::uint8_t> performance,
                              const ConversionSettings& settings) {
  checkSettingRanges(settings);
  PerformanceReader reader(performance, settings.inputPath);
  SmfWriter writer(settings.inputPath);  // the conductor track is thrown away
  writer.create();
  ConversionPlan plan;
  plan.sizeBytes = performance.size();
  plan.analysis =
      runAnalysisPass(reader, writer, {settings.timeNumerator, settings.timeDenominator},
                      {settings.keySharpsFlats, settings.keyMinor});
  plan.xgParts = settings.xgParts;
  plan.tracks = plannedTracks(plan.analysis, settings.xgParts);
  return plan;
}

}  // namespace koralux
