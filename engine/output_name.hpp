#pragma once
// The output name offered for an input: a trailing ".evt" (exactly these four characters, lower
// case) is removed, then ".mid" is appended. "song.evt" gives "song.mid", "SONG.EVT" gives
// "SONG.EVT.mid".

#include <string>

namespace koralux {

std::string derivedOutputName(const std::string& inputPath);

}  // namespace koralux
