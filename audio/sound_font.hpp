#pragma once
// The General MIDI sound font the audio is played with: the one the user names, or the best one
// installed in the places Debian's packages put them.

#include <optional>
#include <string>
#include <vector>

namespace koralux::audio {

// The package to install when no sound font is found.
inline constexpr const char* kSoundFontPackage = "fluid-soundfont-gm";

// The sound font files found in the usual places, best first: Debian's General MIDI sound fonts
// by name (each package's own file, then the system's choice among them, default-GM), then any
// other .sf2 or .sf3 file there. Links are followed; only regular files count.
std::vector<std::string> installedSoundFonts();

// The sound font to use: `chosen` when not empty, else the best installed one; nothing when there
// is none.
std::optional<std::string> soundFontToUse(const std::string& chosen);

// The sentence that says no sound font was found and how to get one.
std::string noSoundFontMessage();

}  // namespace koralux::audio
