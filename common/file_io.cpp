// The part of the file layer that is the same on every system; the rest is in
// common/file_io_posix.cpp and common/file_io_windows.cpp.

#include "common/file_io.hpp"

#include <cerrno>
#include <cstdio>
#include <random>

#include "common/fatal_stop.hpp"
#include "common/file_io_parts.hpp"

namespace koralux {

void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  writeFileAtomically(path, std::span<const std::span<const std::uint8_t>>(&bytes, 1));
}

std::string temporaryFileName(const std::string& targetName) {
  std::random_device entropy;
  std::uniform_int_distribution<unsigned> digit(0, 35);
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "." + std::string.
  std::string name = ".";
  name += targetName;
  name += ".koralux-";
  for (int i = 0; i < 8; ++i) name += "0123456789abcdefghijklmnopqrstuvwxyz"[digit(entropy)];
  return name;
}

void writeStandardOutput(std::span<const std::uint8_t> bytes) {
  std::fflush(stdout);
  // Text mode on Windows would turn every byte 0A of the MIDI file into 0D 0A.
  makeStandardOutputBinary();
  errno = 0;
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (!written || std::fflush(stdout) != 0) {
    throw FatalStop::fromErrno(kStandardOutputLabel, errno != 0 ? errno : EIO);
  }
}

}  // namespace koralux
