#pragma once
// A disk-image file as every face reads it: loaded whole and read-only (unzipped first when it is
// an .imz), its songs named in messages and placed in the image's folder.

#include <filesystem>
#include <string>

#include "disk/disk_contents.hpp"
#include "disk/disk_image.hpp"

namespace koralux {

struct LoadedDisk {
  std::string path;
  DiskImage disk;
  DiskContents contents;
};

// Reads the image at `path` (a sector image, or one zipped in an .imz). Throws FatalStop
// labelled `path` when it cannot be read, is a bitstream image or not a floppy-disk image.
LoadedDisk loadDisk(const std::string& path);

// How messages name a file on a disk: "disk1.img/MDR_03.EVT".
std::string diskFileLabel(const std::string& imagePath, const DiskFile& file);

// Where the conversion of `song` goes in the image's folder `folder`: its path on the disk, the
// output name derived from it ("disk1/MDR_03.EVT.mid", "disk1/Takes/Sunday take.mid").
std::string diskSongOutputName(const std::filesystem::path& folder, const DiskFile& song);

}  // namespace koralux
