#pragma once
// Names of the files a conversion reads and writes.

#include <string>
#include <string_view>

namespace koralux {

// Whether `path` names a performance file: its name ends in ".evt" in any case, as the organ's
// floppy-disk names do ("MDR_00.EVT", "song.evt", "take.Evt").
bool isPerformanceFileName(std::string_view path);

// The output name offered for an input: a trailing ".evt" (exactly these four characters, lower
// case) is removed, then ".mid" is appended. "song.evt" gives "song.mid", "SONG.EVT" gives
// "SONG.EVT.mid".
std::string derivedOutputName(const std::string& inputPath);

}  // namespace koralux
