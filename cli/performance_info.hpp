#pragma once
// koralux-cli --info: what a performance file holds and what a conversion with the chosen
// settings would make of it, worked out by the conversion's own plan, without writing anything.

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/audio_output.hpp"
#include "cli/performance_description.hpp"
#include "engine/conversion_settings.hpp"

namespace koralux::cli {

// Reads and plans the file at `path` with `settings`. Throws FatalStop when it cannot be read
// or is damaged.
PerformanceDescription describePerformance(const std::string& path,
                                           const ConversionSettings& settings);

// The description as a person reads it.
void writeInfoText(std::ostream& out, const PerformanceDescription& info);

// The whole --info command: describes each file in turn (on `out` unless `quiet`; as one JSON
// array with `json`), reports each file that cannot be described on `err` and goes on. A disk
// image is described whole, or only its song that `song` names (cli/disk_command.hpp). With
// `audio` (--audio), the text also says how long the audio would last, where it would go and
// which sound font would play it. Returns the exit status: 0 when every file was described, 1
// otherwise.
int runInfoCommand(const std::vector<std::string>& paths, const ConversionSettings& settings,
                   bool json, bool quiet, std::ostream& out, std::ostream& err,
                   const std::string& song = {}, const AudioRequest& audio = {});

}  // namespace koralux::cli
