#pragma once
// The description of a floppy-disk image for koralux-cli --info: the disk's layout, label and
// damage, each song (its performance description where it reads), the registration files and
// the other files. In JSON, a song is the performance's own description with the disk's fields
// added.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "cli/performance_description.hpp"
#include "disk/disk_contents.hpp"

namespace koralux {

struct DiskSongDescription {
  DiskSong song;
  // What the song holds; absent when it cannot be read, and then `problem` says why.
  std::optional<PerformanceDescription> performance;
  std::string problem;
};

struct DiskDescription {
  std::string image;  // the name the image was given by
  DiskImage disk;
  DiskContents contents;
  std::vector<DiskSongDescription> songs;  // as contents.songs
};

// One object of --info --json: a performance file, or a disk image.
using InfoEntry = std::variant<PerformanceDescription, DiskDescription>;

// One song of a disk as a JSON object, on one line.
std::string diskSongJson(const DiskDescription& disk, const DiskSongDescription& song);
// Several entries as a JSON array indented by two spaces, with a final line feed.
std::string infoJson(std::span<const InfoEntry> entries);

}  // namespace koralux
