#pragma once
// koralux-cli on floppy-disk images: one song of an image by --song, --info of a whole disk and
// --extract. Converting the songs is the batch's (cli/batch.cpp); loading an image is
// common/disk_file.hpp's.

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/disk_description.hpp"
#include "common/disk_file.hpp"
#include "engine/conversion_settings.hpp"

namespace koralux::cli {

// The song that --song `which` names on the image at `path`. Throws FatalStop when the image
// cannot be read, holds no such song, or the song is damaged.
struct NamedSong {
  std::string label;
  std::vector<std::uint8_t> bytes;
  std::vector<std::string> warnings;
};
NamedSong readNamedSong(const std::string& path, const std::string& which);

// The whole disk, each song planned with `settings`.
DiskDescription describeDisk(const LoadedDisk& loaded, const ConversionSettings& settings);

// The disk as a person reads it.
void writeDiskInfoText(std::ostream& out, const DiskDescription& description);

// koralux-cli --extract: copies every file of each image, byte for byte, into `outputDir` (one
// image) or a folder per image under it (several; beside each image without `outputDir`). A
// damaged file is written as far as it reads and reported. Returns the exit status: 0 when
// every file came out whole, 1 otherwise.
int runExtractCommand(const std::vector<std::string>& images, const std::string& outputDir,
                      bool quiet, std::ostream& out, std::ostream& err);

}  // namespace koralux::cli
