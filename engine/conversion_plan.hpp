#pragma once
// What a conversion with given settings writes, known from the analysis alone: the tracks after
// the conductor, in order, each with its channels, its rules and the notes it takes. The run
// writes exactly these tracks; --info, --dump and the web page describe them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_pass.hpp"
#include "engine/conversion_settings.hpp"
#include "engine/transcription_pass.hpp"

namespace koralux {

struct PartScheduleRow;

enum class TrackRole : std::uint8_t {
  OrganPart,  // one of the organ's parts, rewritten by the part schedule's rules
  XgSetup,    // the tone generator's set-up messages, in order and in time
  XgPart,     // one backing channel, kept as played
};

struct PlannedTrack {
  TrackRole role = TrackRole::OrganPart;
  std::string name;        // "Upper", "XG Setup", "XG Part 5"
  std::string statusText;  // what the observer is told before the track is reported
  int source = 0;          // channel taken from the performance; 0 for the set-up
  int destination = 0;     // channel written to; 0 for the set-up
  bool mono = false;       // each new note releases the note held before (organ parts)
  int pan = 64;            // 0 to 127, set at the start (organ parts)
  int program = 0;         // 0 to 127, set at the start (organ parts)
  // Whether the track sets its channel's volume, pan, program and pressure at the start and lets
  // the expression pedal and channel pressure drive its level. The organ's percussion does not
  // when the backing's drums play on the same channel: their kit and level are the arrangement's.
  bool setsChannel = true;
  std::int64_t notes = 0;  // note-ons the track takes from its source, velocity 0 included
};

// An organ part track with the part schedule's parameters.
PlannedTrack organPart(const TranscriptionParameters& parameters, std::string_view statusText = {});
PlannedTrack organPart(const PartScheduleRow& row);

// The tracks a conversion writes after the conductor track, in order. With the XG parts: the
// set-up first when there is any (a player that plays the events of one instant in track order
// then resets the tone generator before the parts set their channels), then the organ's parts,
// then one part for every backing channel that played, by channel.
std::vector<PlannedTrack> plannedTracks(const AnalysisResults& analysis, bool xgParts);

struct ConversionPlan {
  std::uint64_t sizeBytes = 0;  // the performance's, header included
  AnalysisResults analysis;
  bool xgParts = false;              // whether the plan keeps the backing
  std::vector<PlannedTrack> tracks;  // after the conductor, in order

  int trackCount() const noexcept { return 1 + static_cast<int>(tracks.size()); }
  std::int64_t notesTranscribed() const noexcept;
  // Whether the conductor track carries a "Registration N" marker per registration change.
  bool registrationMarkers() const noexcept {
    return xgParts && !analysis.xg.registrations.empty();
  }
  // Channels with note-ons that no planned track takes, in order.
  std::vector<int> untakenChannels() const;
  // The tracks the XG parts add to the organ's, whether or not this plan keeps them.
  std::vector<PlannedTrack> backingTracks() const;
  // Their note-ons: left out of the conversion without the XG parts.
  std::int64_t backingNotes() const;
};

// Analyses a performance's bytes and plans its conversion with `settings` (whose paths are not
// used but for the input path, which names the performance in error messages). Writes nothing.
// Throws FatalStop when the performance is damaged or a setting is out of range.
ConversionPlan planConversion(std::span<const std::uint8_t> performance,
                              const ConversionSettings& settings);

}  // namespace koralux
