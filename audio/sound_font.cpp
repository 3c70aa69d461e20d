#include "audio/sound_font.hpp"

#include <algorithm>
#include <array>
#include <filesystem>

#include "common/file_io.hpp"

namespace koralux::audio {

namespace {

namespace fs = std::filesystem;

// The folders Debian's sound font packages install into.
constexpr std::array<const char*, 3> kFolders = {"/usr/share/sounds/sf2", "/usr/share/sounds/sf3",
                                                 "/usr/share/soundfonts"};

// Debian's General MIDI sound fonts, best first: MuseScore's (the lossless one, then the
// compressed ones), Fluid R3 (fluid-soundfont-gm), its mono version, then the small TimGM6mb;
// then default-GM, the link the system's alternatives point at whichever one is installed.
constexpr std::array<const char*, 10> kKnownFiles = {
    "/usr/share/sounds/sf2/MuseScore_General-HQ.sf2",
    "/usr/share/sounds/sf3/MuseScore_General-HQ.sf3",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/MuseScore_General.sf3",
    "/usr/share/sounds/sf3/FluidR3_GM.sf3",
    "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/soundfonts/default.sf2",
};

bool isSoundFontFile(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(c | 0x20); });
  return extension == ".sf2" || extension == ".sf3";
}

}  // namespace

std::vector<std::string> installedSoundFonts() {
  std::vector<std::string> found;
  std::vector<fs::path> seen;  // the files themselves, links resolved
  const auto add = [&](const fs::path& path) {
    if (!isSoundFontFile(path)) return;
    std::error_code error;
    const fs::path file = fs::canonical(path, error);
    if (error || std::find(seen.begin(), seen.end(), file) != seen.end()) return;
    seen.push_back(file);
    found.push_back(utf8FromPath(path));
  };
  for (const char* known : kKnownFiles) add(known);
  for (const char* folder : kFolders) {
    std::error_code error;
    std::vector<fs::path> others;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      others.push_back(entry->path());
    }
    std::sort(others.begin(), others.end());
    for (const fs::path& other : others) add(other);
  }
  return found;
}

std::optional<std::string> soundFontToUse(const std::string& chosen) {
  if (!chosen.empty()) return chosen;
  std::vector<std::string> installed = installedSoundFonts();
  if (installed.empty()) return std::nullopt;
  return installed.front();
}

std::string noSoundFontMessage() {
  return std::string(
             "no General MIDI sound font is installed (looked in /usr/share/sounds/sf2, "
             "/usr/share/sounds/sf3 and /usr/share/soundfonts); install the package ") +
         kSoundFontPackage + " (sudo apt install " + kSoundFontPackage +
         ") or name a .sf2 or .sf3 file with --soundfont FILE";
}

}  // namespace koralux::audio
