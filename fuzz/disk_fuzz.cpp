// Fuzz target: the floppy-disk image reader over any bytes of any size. Whatever the bytes, it
// refuses the image with FatalStop or reads it: every file then holds no more bytes than its
// size (all of them unless damaged), a damaged file says why, its path is safe to write under a
// folder (no empty, "." or ".." part, no '\' or ':'), and the songs, registration files and
// other files account for every file once. Reading never leaves the image (the sanitizers
// watch) and ends (the chains are followed at most once around).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/fatal_stop.hpp"
#include "disk/disk_contents.hpp"
#include "fuzz/fuzz_check.hpp"

namespace koralux::fuzz {
namespace {

bool safePath(const std::string& path) {
  if (path.find_first_of("\\:") != std::string::npos) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

void check(std::span<const std::uint8_t> bytes) {
  DiskImage disk;
  try {
    disk = readDiskImage(bytes);
  } catch (const FatalStop& stop) {
    require(!stop.description().empty(), "a refused image says why");
    return;
  }
  for (const DiskFile& file : disk.files) {
    require(file.bytes.size() <= file.size, "a file holds no more bytes than its size");
    require(file.damaged() || file.bytes.size() == file.size, "a sound file holds all its bytes");
    require(safePath(file.path), "a file's path is safe to write under a folder");
  }
  const DiskContents contents = contentsOf(disk);
  std::vector<int> seen(disk.files.size());
  for (const DiskSong& song : contents.songs) {
    ++seen.at(song.file);
    require(!song.registration || *song.registration < disk.files.size(),
            "a registration file is a file of the disk");
  }
  for (std::size_t i : contents.registrations) ++seen.at(i);
  for (std::size_t i : contents.others) ++seen.at(i);
  for (int count : seen) require(count == 1, "every file is a song, a registration or another");
}

}  // namespace
}  // namespace koralux::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  koralux::fuzz::check({data, size});
  return 0;
}
