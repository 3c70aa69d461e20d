#pragma once
// Reads the files of a FAT12 floppy-disk image (a raw sector image, as imaging tools and floppy
// emulators keep them) from its bytes in memory. Nothing is ever written: the image is a span of
// constant bytes.
//
// Damage is data: one file whose cluster chain is broken is marked damaged with the reason, and
// every other file still reads. Only an image that cannot be a FAT12 floppy disk at all (no
// usable boot sector and no standard size) is refused, with FatalStop.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace koralux {

// Where the layout of the disk came from.
enum class GeometrySource : std::uint8_t {
  BootSector,  // the boot sector's parameter block, consistent with the image
  ImageSize,   // the standard floppy format of the image's size (the boot sector is not usable)
};

struct DiskGeometry {
  GeometrySource source = GeometrySource::BootSector;
  std::string format;  // "1.44 MB", "720 KB", ..., or "N KB" for another size
  // Why the boot sector was not believed, when the size gave the layout.
  std::string bootSectorProblem;
  int bytesPerSector = 512;
  int sectorsPerCluster = 1;
  int reservedSectors = 1;  // before the first FAT, the boot sector included
  int fatCount = 2;
  int sectorsPerFat = 9;
  int rootEntries = 224;     // 32-byte entries of the root folder
  std::int64_t sectors = 0;  // on the whole disk
  std::int64_t firstDataSector = 0;
  int clusterCount = 0;  // clusters 2 to clusterCount + 1 hold data
};

struct DiskFile {
  std::string path;        // folders and name joined by '/': the long name where there is one
  std::string shortName;   // the 8.3 name in the folder entry, "MDR_00.EVT"
  std::uint32_t size = 0;  // as the folder entry says
  std::vector<std::uint8_t> bytes;  // as far as they read: `size` bytes unless damaged
  // Empty when the file is fine; otherwise why it is damaged ("the cluster chain loops back to
  // cluster 97").
  std::string damage;
  // Readable but doubtful: "sector 130 looks unread (all bytes F6)".
  std::vector<std::string> warnings;

  bool damaged() const { return !damage.empty(); }
};

struct DiskImage {
  DiskGeometry geometry;
  std::string label;  // the volume label, trailing spaces removed; empty when there is none
  // Empty when the copies of the FAT agree; otherwise which copy was used and why.
  std::string fatNote;
  // Damage outside the files: a folder that cannot be read whole, an image cut short.
  std::vector<std::string> problems;
  std::vector<DiskFile> files;  // in folder order, each folder's files before its subfolders'
};

// Reads the whole disk in `image`. Throws FatalStop (without a label) when the bytes are not a
// FAT12 floppy-disk image.
DiskImage readDiskImage(std::span<const std::uint8_t> image);

}  // namespace koralux
