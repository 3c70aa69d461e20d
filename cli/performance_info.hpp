#pragma once
// koralux-cli --info: what a performance file holds and what a conversion would make of it,
// worked out by the conversion's own analysis pass and part schedule, without writing anything.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_pass.hpp"

namespace koralux::cli {

// One part track that a conversion would write.
struct PlannedPart {
  std::string_view name;
  int source = 0;       // channel read from the performance
  int destination = 0;  // channel written to
  bool mono = false;
  std::int64_t notes = 0;  // note-ons the part takes from its source channel
};

// One track that a conversion with --xg-parts would add after the parts.
struct PlannedXgTrack {
  std::string name;
  int channel = 0;         // 0 for the set-up track
  std::int64_t notes = 0;  // note-ons the track takes from its channel
};

struct PerformanceInfo {
  std::string path;
  std::uint64_t sizeBytes = 0;
  AnalysisResults analysis;
  std::vector<PlannedPart> parts;        // in the order a conversion writes them
  std::vector<PlannedXgTrack> xgTracks;  // what --xg-parts adds, in order

  int tracks() const noexcept { return 1 + static_cast<int>(parts.size()); }
  std::int64_t notesTranscribed() const noexcept;
  // The note-ons of the XG parts: left out without --xg-parts.
  std::int64_t xgNotes() const noexcept;
};

// Reads and analyses the file at `path`. Throws FatalStop when it cannot be read or is damaged.
PerformanceInfo describePerformance(const std::string& path);

// The description as a person reads it.
void writeInfoText(std::ostream& out, const PerformanceInfo& info);
// A JSON array with one object per file; the shape is documented in koralux-cli(1).
void writeInfoJson(std::ostream& out, const std::vector<PerformanceInfo>& infos);

// The whole --info command: describes each file in turn (on `out` unless `quiet`), reports each
// file that cannot be described on `err` and goes on. Returns the exit status: 0 when every
// file was described, 1 otherwise.
int runInfoCommand(const std::vector<std::string>& paths, bool json, bool quiet, std::ostream& out,
                   std::ostream& err);

}  // namespace koralux::cli
