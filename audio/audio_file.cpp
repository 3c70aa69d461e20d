#include "audio/audio_file.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "common/file_io.hpp"

namespace koralux::audio {

namespace {

constexpr std::array<std::string_view, 3> kFormatNames = {"wav", "flac", "ogg"};

// Reads a Standard MIDI File's chunks and events just far enough to know when each event falls.
class MidiScanner {
 public:
  explicit MidiScanner(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool atEnd() const { return at_ >= bytes_.size(); }
  bool has(std::size_t count) const { return bytes_.size() - at_ >= count; }
  std::uint8_t byte() { return has(1) ? bytes_[at_++] : 0; }
  std::uint32_t fixed(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | byte();
    return value;
  }
  std::uint32_t variable() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const std::uint8_t b = byte();
      value = value << 7 | (b & 0x7Fu);
      if ((b & 0x80) == 0) break;
    }
    return value;
  }
  void skip(std::size_t count) { at_ = has(count) ? at_ + count : bytes_.size(); }
  std::size_t position() const { return at_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string_view formatName(AudioFormat format) {
  return kFormatNames[static_cast<std::size_t>(format)];
}

std::optional<AudioFormat> formatNamed(std::string_view name) {
  for (std::size_t i = 0; i < kFormatNames.size(); ++i) {
    if (kFormatNames[i] == name) return static_cast<AudioFormat>(i);
  }
  return std::nullopt;
}

std::string audioPathFor(const std::string& midiPath, AudioFormat format) {
  std::filesystem::path path = pathFromUtf8(midiPath);
  // Appended rather than "." + name: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
  std::string extension = ".";
  extension += formatName(format);
  path.replace_extension(pathFromUtf8(extension));
  return utf8FromPath(path);
}

double midiSeconds(std::span<const std::uint8_t> midi) {
  MidiScanner file(midi);
  if (file.fixed(4) != 0x4D546864) return 0;  // "MThd"
  const std::uint32_t headerLength = file.fixed(4);
  file.skip(4);  // format and track count
  const std::uint32_t division = file.fixed(2);
  file.skip(headerLength - std::min<std::uint32_t>(headerLength, 6));
  if (division == 0 || (division & 0x8000) != 0) return 0;

  std::map<std::int64_t, std::uint32_t> tempos;  // tick -> microseconds per quarter note
  std::int64_t lastTick = 0;
  while (file.has(8)) {
    const std::uint32_t type = file.fixed(4);
    const std::uint32_t length = file.fixed(4);
    const std::size_t end = file.position() + length;
    if (type != 0x4D54726B) {  // not "MTrk"
      file.skip(length);
      continue;
    }
    std::int64_t tick = 0;
    std::uint8_t status = 0;
    while (file.position() < end && !file.atEnd()) {
      tick += file.variable();
      std::uint8_t first = file.byte();
      if (first < 0x80) {  // running status: `first` is the first data byte
        if (status == 0) break;
        file.skip((status & 0xE0) == 0xC0 ? 0 : 1);
      } else if (first == 0xFF) {
        const std::uint8_t meta = file.byte();
        const std::uint32_t size = file.variable();
        if (meta == 0x51 && size == 3) {
          tempos[tick] = file.fixed(3);
        } else {
          file.skip(size);
        }
        if (meta == 0x2F) break;
      } else if (first == 0xF0 || first == 0xF7) {
        file.skip(file.variable());
      } else {
        status = first;
        file.skip((first & 0xE0) == 0xC0 ? 1 : 2);
      }
    }
    lastTick = std::max(lastTick, tick);
    file.skip(end > file.position() ? end - file.position() : 0);
  }

  double seconds = 0;
  std::int64_t at = 0;
  std::uint32_t tempo = 500000;  // 120 beats per minute until the first tempo
  for (const auto& [tick, value] : tempos) {
    if (tick >= lastTick) break;
    seconds += static_cast<double>(tick - at) * tempo / division / 1e6;
    at = tick;
    tempo = value;
  }
  return seconds + static_cast<double>(lastTick - at) * tempo / division / 1e6;
}

std::string durationText(double seconds) {
  const auto tenths = static_cast<long long>(std::llround(seconds * 10));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

}  // namespace koralux::audio
