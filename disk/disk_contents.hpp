#pragma once
// What a disk holds for the organ: its songs (every performance file, MDR_nn.EVT in the slots
// of the organ's disk recorder), the registration file beside each song, and the other files,
// which are listed but not converted. Also which file names are disk images.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/disk_image.hpp"

namespace koralux {

enum class ImageKind : std::uint8_t {
  None,       // not a disk image by its name
  Sectors,    // a raw sector image: .img, .ima, .dsk, .vfd, .flp
  Zipped,     // a zip holding one sector image: .imz
  Bitstream,  // the recording of the disk's tracks: .hfe, .scp (not read)
};

// The extensions of each kind, as imageKindOf matches them in any case.
inline constexpr std::array<std::string_view, 5> kSectorImageExtensions{"img", "ima", "dsk", "vfd",
                                                                        "flp"};
inline constexpr std::string_view kZippedImageExtension = "imz";

// The kind of disk image that `path` names, by its extension in any case.
ImageKind imageKindOf(std::string_view path);

// The description of the refusal of a bitstream image (the label is the file's name).
inline constexpr const char* kBitstreamRefusal =
    "is a bitstream image of a disk's tracks, which is not read; make a sector image (.img) "
    "of the disk from it first";

// Where the songs of the image at `imagePath` go: a folder beside it named after it, the
// extension left out ("disks/disk1.img" gives "disks/disk1").
std::string diskFolderName(const std::string& imagePath);

struct DiskSong {
  std::size_t file = 0;  // index into DiskImage::files
  int slot = -1;         // nn of MDR_nn.EVT in the root folder; -1 for any other name
  std::optional<std::size_t> registration;  // MDR_nn.B00 or .R00 beside it, same name
};

struct DiskContents {
  std::vector<DiskSong> songs;             // in the order of the disk's folders
  std::vector<std::size_t> registrations;  // every .Bnn/.Rnn beside a song
  std::vector<std::size_t> others;
};

DiskContents contentsOf(const DiskImage& disk);

// The song that `which` names: a slot number ("3"), or the song's path on the disk in any
// case ("MDR_03.EVT", "SONGS/TAKE1.EVT").
std::optional<DiskSong> findSong(const DiskImage& disk, const DiskContents& contents,
                                 std::string_view which);

}  // namespace koralux
