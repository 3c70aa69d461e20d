#pragma once
// The whole conversion of one performance into one Standard MIDI File: the analysis pass, then a
// transcription pass for every scheduled part that played.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/conversion_observer.hpp"
#include "engine/conversion_settings.hpp"
#include "engine/findings.hpp"

namespace koralux {

// The status a conversion reports last, once its file is complete.
inline constexpr std::string_view kFinishedStatus = "Status: Finished";

struct ConversionSummary {
  int tracks = 0;                     // conductor track included
  std::int64_t notesTotal = 0;        // note-ons in the file, every channel
  std::int64_t notesTranscribed = 0;  // note-ons the written parts took
  std::vector<Finding> findings;      // what the user must know about the performance
};

struct ConversionResult {
  std::vector<std::uint8_t> midi;
  ConversionSummary summary;
};

// Converts performance bytes (header included) in memory. The paths of `settings` are not used,
// except the input path, which names the performance in error messages.
// Throws FatalStop on a damaged performance, on settings out of range, or with settings.strict on
// a performance that gives findings.
ConversionResult convertPerformance(std::span<const std::uint8_t> performance,
                                    const ConversionSettings& settings,
                                    ConversionObserver& observer);

// Reads settings.inputPath, converts it and puts the MIDI file at settings.outputPath, complete
// or not at all. Refuses an output that names the input. Throws FatalStop with the message the
// user reads; on failure the output path is left as it was.
ConversionSummary ConversionRun(const ConversionSettings& settings, ConversionObserver& observer);

}  // namespace koralux
