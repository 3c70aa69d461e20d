// The part of the file layer that is the same on every system; the rest is in
// common/file_io_posix.cpp and common/file_io_windows.cpp.

#include "common/file_io.hpp"

#include <cerrno>
#include <cstdio>

#include "common/fatal_stop.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace koralux {

void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  writeFileAtomically(path, std::span<const std::span<const std::uint8_t>>(&bytes, 1));
}

std::filesystem::path pathFromUtf8(const std::string& path) {
#if defined(_WIN32)
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(path.data()), path.size()));
#else
  return std::filesystem::path(path);
#endif
}

std::string utf8FromPath(const std::filesystem::path& path) {
#if defined(_WIN32)
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
#else
  return path.string();
#endif
}

void writeStandardOutput(std::span<const std::uint8_t> bytes) {
  std::fflush(stdout);
#if defined(_WIN32)
  // Text mode would turn every byte 0A of the MIDI file into 0D 0A.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  errno = 0;
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (!written || std::fflush(stdout) != 0) {
    throw FatalStop::fromErrno(kStandardOutputLabel, errno != 0 ? errno : EIO);
  }
}

}  // namespace koralux
