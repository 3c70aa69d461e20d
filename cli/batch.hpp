#pragma once
// The conversions of one call of koralux-cli. One input is a batch of one, converted to the
// output -o names (or the derived name). Many are several inputs, folder trees walked with
// --recursive, each output beside its input (or under --output-dir, keeping the layout of a
// walked tree), several conversions at a time.

#include <optional>
#include <string>
#include <vector>

#include "engine/conversion_settings.hpp"

namespace CLI {
class App;
}

namespace koralux::cli {

class AudioMaker;

struct BatchOptions {
  bool recursive = false;  // walk folders given as inputs and convert every *.evt (any case)
  std::string outputDir;   // put the outputs here instead of beside their inputs
  unsigned jobs = 0;       // conversions at a time; 0: one per processor core
  std::string song;        // of a single disk image, convert only this song (--song)
};

// Adds --recursive, --output-dir and -j/--jobs to the command line.
void addBatchOptions(CLI::App& app, BatchOptions& options);

// What is wrong with the command line for a batch (to be reported as a usage error), if
// anything. `output` is the value of -o.
std::optional<std::string> batchUsageError(const std::vector<std::string>& inputs,
                                           const std::string& output, const BatchOptions& options);

// Converts every performance that `inputs` name with `settings` (whose paths are not used);
// a disk image (cli/disk_command.hpp) is every song on it, into a folder named after it:
// a line on standard output for each file written (on standard error when the file is standard
// output) and one on standard error for each file that failed, which does not stop the others.
// A single file (one input, no --recursive, no --output-dir) goes to `output` if given and
// reports the run's progress on standard error; many files end with a count of those converted,
// and on a terminal a progress line is shown meanwhile. `quiet` leaves nothing but the failures.
// With `audio`, each MIDI file written is also made into audio beside it (a line on standard
// output for each; for a single file on a terminal, a progress line while it plays).
// Returns the exit status: 0 when every file was converted, 1 when any failed.
int runConversions(const std::vector<std::string>& inputs, const std::string& output,
                   const BatchOptions& options, const ConversionSettings& settings, bool quiet,
                   AudioMaker* audio = nullptr);

}  // namespace koralux::cli
