#include "disk/disk_image.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

#include "common/fatal_stop.hpp"
#include "common/filled_sector.hpp"

namespace koralux {

namespace {

constexpr std::size_t kEntrySize = 32;
constexpr int kFirstCluster = 2;
constexpr int kBadCluster = 0xFF7;
constexpr int kEndOfChain = 0xFF8;  // and above
constexpr int kMostFat12Clusters = 4084;
constexpr int kDeepestFolder = 32;
constexpr std::uint8_t kLongNamePart = 0x0F;
constexpr std::uint8_t kVolumeLabel = 0x08;
constexpr std::uint8_t kFolder = 0x10;

struct StandardFormat {
  std::size_t bytes;
  const char* name;
  int sectorsPerCluster;
  int rootEntries;
  int sectorsPerFat;
  std::uint8_t media;  // the FAT's first byte
};

// The formats of 3.5" and 5.25" floppy disks that PCs and organs write.
constexpr StandardFormat kStandardFormats[] = {
    {368'640, "360 KB", 2, 112, 2, 0xFD},    {737'280, "720 KB", 2, 112, 3, 0xF9},
    {1'228'800, "1.2 MB", 1, 224, 7, 0xF9},  {1'474'560, "1.44 MB", 1, 224, 9, 0xF0},
    {2'949'120, "2.88 MB", 2, 240, 9, 0xF0},
};

std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(le16(bytes, offset)) |
         static_cast<std::uint32_t>(le16(bytes, offset + 2)) << 16;
}

std::string plural(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// Completes the layout that follows from the parameters; says what is impossible about it.
std::string completeLayout(DiskGeometry& g) {
  const std::int64_t rootSectors =
      (static_cast<std::int64_t>(g.rootEntries) * static_cast<std::int64_t>(kEntrySize) +
       g.bytesPerSector - 1) /
      g.bytesPerSector;
  g.firstDataSector =
      g.reservedSectors + static_cast<std::int64_t>(g.fatCount) * g.sectorsPerFat + rootSectors;
  if (g.firstDataSector >= g.sectors) return "it leaves no room for data";
  const std::int64_t clusters = (g.sectors - g.firstDataSector) / g.sectorsPerCluster;
  if (clusters < 1 || clusters > kMostFat12Clusters) {
    return "it gives " + plural(clusters, "cluster", "clusters") + ", not a FAT12 floppy disk";
  }
  g.clusterCount = static_cast<int>(clusters);
  const std::int64_t fatEntries =
      static_cast<std::int64_t>(g.sectorsPerFat) * g.bytesPerSector * 2 / 3;
  if (fatEntries < clusters + kFirstCluster) {
    return "its FAT is too small for its " + plural(clusters, "cluster", "clusters");
  }
  return {};
}

// The layout the boot sector's parameter block gives, or why it is not usable.
std::string bootSectorLayout(std::span<const std::uint8_t> image, DiskGeometry& g) {
  const std::span<const std::uint8_t> boot = image.first(512);
  if (const auto fill = fillByte(boot)) return "it is blank (all bytes " + hexByte(*fill) + ")";
  g.bytesPerSector = le16(boot, 11);
  g.sectorsPerCluster = boot[13];
  g.reservedSectors = le16(boot, 14);
  g.fatCount = boot[16];
  g.rootEntries = le16(boot, 17);
  g.sectorsPerFat = le16(boot, 22);
  g.sectors = le16(boot, 19) != 0 ? le16(boot, 19) : le32(boot, 32);
  const auto powerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
  if (!powerOfTwo(g.bytesPerSector) || g.bytesPerSector < 128 || g.bytesPerSector > 4096) {
    return "its sector size (" + std::to_string(g.bytesPerSector) + " bytes) is impossible";
  }
  if (!powerOfTwo(g.sectorsPerCluster)) {
    return "its cluster size (" + std::to_string(g.sectorsPerCluster) + " sectors) is impossible";
  }
  if (g.reservedSectors == 0) return "it reserves no sector for itself";
  if (g.fatCount < 1 || g.fatCount > 2) {
    return "it gives " + std::to_string(g.fatCount) + " copies of the FAT";
  }
  if (g.rootEntries == 0) return "it gives the root folder no entries";
  if (g.sectorsPerFat == 0) return "it gives the FAT no sectors";
  if (std::string problem = completeLayout(g); !problem.empty()) return problem;
  const auto diskBytes = static_cast<std::uint64_t>(g.sectors * g.bytesPerSector);
  if (diskBytes == image.size()) return {};
  for (const StandardFormat& format : kStandardFormats) {
    if (format.bytes == image.size()) {
      return "it describes a disk of " + std::to_string(diskBytes) + " bytes, not " +
             std::to_string(image.size());
    }
  }
  if (diskBytes < image.size()) {
    return "it describes a disk of " + std::to_string(diskBytes) + " bytes, smaller than the image";
  }
  return {};  // an image cut short: the files it still holds are read
}

// The layout of a standard floppy format.
DiskGeometry standardLayout(const StandardFormat& format) {
  DiskGeometry g;
  g.source = GeometrySource::ImageSize;
  g.format = format.name;
  g.sectorsPerCluster = format.sectorsPerCluster;
  g.rootEntries = format.rootEntries;
  g.sectorsPerFat = format.sectorsPerFat;
  g.sectors = static_cast<std::int64_t>(format.bytes / 512);
  completeLayout(g);
  return g;
}

std::string formatName(std::uint64_t bytes) {
  for (const StandardFormat& format : kStandardFormats) {
    if (format.bytes == bytes) return format.name;
  }
  return std::to_string(bytes / 1024) + " KB";
}

DiskGeometry geometryOf(std::span<const std::uint8_t> image) {
  if (image.size() < 512) {
    throw FatalStop({}, "is not a floppy-disk image: it is shorter than one sector (" +
                            plural(static_cast<std::int64_t>(image.size()), "byte", "bytes") + ")");
  }
  DiskGeometry fromBoot;
  const std::string problem = bootSectorLayout(image, fromBoot);
  if (problem.empty()) {
    fromBoot.source = GeometrySource::BootSector;
    fromBoot.format =
        formatName(static_cast<std::uint64_t>(fromBoot.sectors * fromBoot.bytesPerSector));
    return fromBoot;
  }
  // The standard format of the image's size; for an image cut short, the smallest one that it
  // fits in whose FAT starts with the same media byte.
  const int media = image.size() > 512 ? image[512] : -1;
  for (const StandardFormat& format : kStandardFormats) {
    if (format.bytes == image.size() || (format.bytes > image.size() && media == format.media)) {
      DiskGeometry g = standardLayout(format);
      g.bootSectorProblem = problem;
      return g;
    }
  }
  throw FatalStop({}, "is not a FAT12 floppy-disk image: its boot sector is not usable (" +
                          problem + ") and its size (" +
                          plural(static_cast<std::int64_t>(image.size()), "byte", "bytes") +
                          ") is not one of a standard floppy disk");
}

// One copy of the FAT, as far as the image holds it.
class Fat {
 public:
  Fat(std::span<const std::uint8_t> image, const DiskGeometry& g, int copy) {
    const auto start = static_cast<std::size_t>(g.reservedSectors + copy * g.sectorsPerFat) *
                       static_cast<std::size_t>(g.bytesPerSector);
    const auto length =
        static_cast<std::size_t>(g.sectorsPerFat) * static_cast<std::size_t>(g.bytesPerSector);
    if (start < image.size()) table_ = image.subspan(start, std::min(length, image.size() - start));
  }

  // The entry of `cluster`, 0 to 0xFFF; -1 when the image ends before it.
  int next(int cluster) const {
    const auto offset = static_cast<std::size_t>(cluster) * 3 / 2;
    if (offset + 1 >= table_.size()) return -1;
    const int pair = le16(table_, offset);
    return (cluster & 1) != 0 ? pair >> 4 : pair & 0xFFF;
  }
  bool present() const { return !table_.empty(); }

 private:
  std::span<const std::uint8_t> table_;
};

// A cluster chain of a file or a folder and what is wrong with it.
struct Chain {
  std::string owner;  // "MDR_03.EVT", "the folder SONGS"
  int file = -1;      // index of the file; -1 for a folder
  std::vector<int> clusters;
  std::string broken;       // the chain cannot be followed to its end
  std::string length;       // followed to its end, it does not fit the file's size
  std::string crossLinked;  // it shares a cluster with another chain
  std::string cutShort;     // the image ends before its data does
};

// UTF-16 code units of a long name as UTF-8; nothing when they are not well formed.
std::optional<std::string> utf8(const std::vector<std::uint16_t>& units) {
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
        return std::nullopt;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00u);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return std::nullopt;
    }
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | code >> 6);
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | code >> 12);
      text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | code >> 18);
      text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

// A name that is safe as one part of a path on every system: no separators, no control
// characters, no "." or "..".
std::string safeName(std::string name) {
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F ||
        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  if (name.empty() || name == "." || name == "..") name.insert(0, "_");
  return name;
}

// "NAME.EXT" from the 11 bytes of a folder entry; bytes outside ASCII become '_'.
std::string shortName(std::span<const std::uint8_t> entry) {
  const auto part = [&](std::size_t from, std::size_t length) {
    std::string text;
    for (std::size_t i = from; i < from + length; ++i) {
      std::uint8_t byte = entry[i];
      if (i == 0 && byte == 0x05) byte = 0xE5;  // a name that starts with E5 is stored as 05
      text += byte < 0x80 ? static_cast<char>(byte) : '_';
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
  };
  const std::string base = part(0, 8);
  const std::string extension = part(8, 3);
  return extension.empty() ? base : base + '.' + extension;
}

std::uint8_t shortNameChecksum(std::span<const std::uint8_t> entry) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + entry[i]);
  }
  return sum;
}

// Where the 13 UTF-16 units of a long name's piece lie in its entry.
constexpr std::size_t kNameUnitOffsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// The pieces of a long name met before the entry they name, last piece first.
class LongName {
 public:
  void add(std::span<const std::uint8_t> entry) {
    const int sequence = entry[0] & 0x1F;
    if ((entry[0] & 0x40) != 0) {
      parts_.assign(static_cast<std::size_t>(sequence), {});
      checksum_ = entry[13];
      expected_ = sequence;
    } else if (sequence != expected_ || entry[13] != checksum_) {
      clear();
      return;
    }
    if (sequence < 1 || parts_.empty()) return clear();
    auto& units = parts_[static_cast<std::size_t>(sequence - 1)];
    for (std::size_t offset : kNameUnitOffsets) {
      units.push_back(le16(entry, offset));
    }
    expected_ = sequence - 1;
  }

  // The long name of `entry`, when the pieces before it are whole and belong to it.
  std::optional<std::string> take(std::span<const std::uint8_t> entry) {
    const bool whole = !parts_.empty() && expected_ == 0 && checksum_ == shortNameChecksum(entry);
    std::vector<std::uint16_t> units;
    for (const auto& part : parts_) units.insert(units.end(), part.begin(), part.end());
    clear();
    if (!whole) return std::nullopt;
    const auto end = std::find(units.begin(), units.end(), 0);
    units.erase(end, units.end());
    if (units.empty()) return std::nullopt;
    return utf8(units);
  }

  void clear() {
    parts_.clear();
    expected_ = -1;
  }

 private:
  std::vector<std::vector<std::uint16_t>> parts_;
  std::uint8_t checksum_ = 0;
  int expected_ = -1;
};

// The whole reading of a disk with one copy of the FAT.
class DiskReader {
 public:
  DiskReader(std::span<const std::uint8_t> image, const DiskGeometry& g, const Fat& fat)
      : image_(image), g_(g), fat_(fat) {
    disk_.geometry = g;
  }

  DiskImage read() {
    const auto rootStart =
        static_cast<std::size_t>(g_.reservedSectors + g_.fatCount * g_.sectorsPerFat) *
        static_cast<std::size_t>(g_.bytesPerSector);
    const std::size_t rootLength = static_cast<std::size_t>(g_.rootEntries) * kEntrySize;
    std::vector<std::uint8_t> root;
    if (rootStart < image_.size()) {
      const auto held = image_.subspan(rootStart, std::min(rootLength, image_.size() - rootStart));
      root.assign(held.begin(), held.end());
    }
    if (root.size() < rootLength) {
      disk_.problems.push_back("the image ends inside the root folder");
    }
    readFolder(root, {}, 0);
    findCrossLinks();
    for (const Chain& chain : chains_) {
      const std::string& damage = !chain.broken.empty()        ? chain.broken
                                  : !chain.crossLinked.empty() ? chain.crossLinked
                                  : !chain.length.empty()      ? chain.length
                                                               : chain.cutShort;
      if (damage.empty()) continue;
      if (chain.file >= 0) {
        disk_.files[static_cast<std::size_t>(chain.file)].damage = damage;
      } else {
        disk_.problems.push_back(chain.owner + ": " + damage);
      }
    }
    const auto diskBytes = static_cast<std::uint64_t>(g_.sectors * g_.bytesPerSector);
    if (image_.size() < diskBytes) {
      disk_.problems.push_back("the image is cut short: " + std::to_string(image_.size()) +
                               " of the disk's " + std::to_string(diskBytes) + " bytes");
    }
    damageCount_ = disk_.problems.size();
    for (const DiskFile& file : disk_.files) damageCount_ += file.damaged() ? 1u : 0u;
    return std::move(disk_);
  }

  // Damaged files and folder problems, once read.
  std::size_t damageCount() const { return damageCount_; }

 private:
  std::int64_t clusterBytes() const {
    return static_cast<std::int64_t>(g_.sectorsPerCluster) * g_.bytesPerSector;
  }

  // Follows the chain from `start`, stopping at its end or where it breaks.
  Chain follow(int start, std::string owner) {
    Chain chain;
    chain.owner = std::move(owner);
    const int last = g_.clusterCount + kFirstCluster - 1;
    std::vector<bool> seen(static_cast<std::size_t>(last) + 1);
    for (int cluster = start;;) {
      if (cluster < kFirstCluster || cluster > last) {
        chain.broken = chain.clusters.empty()
                           ? "its folder entry names cluster " + std::to_string(cluster) +
                                 ", outside the disk (clusters 2 to " + std::to_string(last) + ")"
                           : "the cluster chain leads to cluster " + std::to_string(cluster) +
                                 ", outside the disk (clusters 2 to " + std::to_string(last) + ")";
        break;
      }
      if (seen[static_cast<std::size_t>(cluster)]) {
        chain.broken = "the cluster chain loops back to cluster " + std::to_string(cluster);
        break;
      }
      seen[static_cast<std::size_t>(cluster)] = true;
      chain.clusters.push_back(cluster);
      const int next = fat_.next(cluster);
      if (next < 0) {
        chain.broken = "the FAT entry of cluster " + std::to_string(cluster) +
                       " lies beyond the end of the image";
        break;
      }
      if (next >= kEndOfChain) break;
      if (next == 0) {
        chain.broken = "the cluster chain runs into cluster " + std::to_string(cluster) +
                       ", which the FAT marks free";
        break;
      }
      if (next == kBadCluster) {
        chain.broken = "the FAT marks cluster " + std::to_string(cluster) + " bad";
        break;
      }
      cluster = next;
    }
    return chain;
  }

  // The data of the clusters of `chain`, at most `limit` bytes, as far as the image holds them.
  // Calls `sector(number, bytes)` for every whole sector read.
  template <typename SectorCheck>
  std::vector<std::uint8_t> data(Chain& chain, std::int64_t limit, SectorCheck&& sector) {
    std::vector<std::uint8_t> bytes;
    for (int cluster : chain.clusters) {
      for (int i = 0; i < g_.sectorsPerCluster; ++i) {
        const std::int64_t left = limit - static_cast<std::int64_t>(bytes.size());
        if (left <= 0) return bytes;
        const std::int64_t number =
            g_.firstDataSector +
            static_cast<std::int64_t>(cluster - kFirstCluster) * g_.sectorsPerCluster + i;
        const auto offset = static_cast<std::uint64_t>(number * g_.bytesPerSector);
        if (offset >= image_.size()) {
          chain.cutShort = "cluster " + std::to_string(cluster) +
                           " lies beyond the end of the image, which is cut short";
          return bytes;
        }
        const std::size_t length = std::min({static_cast<std::size_t>(g_.bytesPerSector),
                                             image_.size() - static_cast<std::size_t>(offset),
                                             static_cast<std::size_t>(left)});
        const auto held = image_.subspan(static_cast<std::size_t>(offset), length);
        if (length == static_cast<std::size_t>(g_.bytesPerSector)) sector(number, held);
        bytes.insert(bytes.end(), held.begin(), held.end());
        if (length < static_cast<std::size_t>(g_.bytesPerSector) &&
            static_cast<std::int64_t>(length) < left) {
          chain.cutShort = "cluster " + std::to_string(cluster) +
                           " lies beyond the end of the image, which is cut short";
          return bytes;
        }
      }
    }
    return bytes;
  }

  void readFile(std::span<const std::uint8_t> entry, const std::string& path,
                const std::string& name) {
    DiskFile file;
    file.path = path;
    file.shortName = name;
    file.size = le32(entry, 28);
    const int start = le16(entry, 26);
    const int index = static_cast<int>(disk_.files.size());
    if (start == 0) {
      if (file.size != 0) {
        file.damage =
            "its folder entry gives " + plural(file.size, "byte", "bytes") + " but no cluster";
      }
      disk_.files.push_back(std::move(file));
      return;
    }
    Chain chain = follow(start, path);
    chain.file = index;
    const std::int64_t needed = (file.size + clusterBytes() - 1) / clusterBytes();
    const auto held = static_cast<std::int64_t>(chain.clusters.size());
    if (chain.broken.empty() && held != needed) {
      chain.length = held < needed
                         ? "the cluster chain ends after " + std::to_string(held) + " of the " +
                               std::to_string(needed) + " clusters its size needs"
                         : "the cluster chain holds " + std::to_string(held) +
                               " clusters, more than the " + std::to_string(needed) +
                               " its size needs";
    }
    file.bytes =
        data(chain, file.size, [&file](std::int64_t number, std::span<const std::uint8_t> sector) {
          // Imaging tools fill sectors they could not read, formatters the
          // sectors nothing has been written to.
          const auto fill = fillByte(sector);
          if (fill && (*fill == 0xF6 || *fill == 0xE5 || *fill == 0x00)) {
            file.warnings.push_back("sector " + std::to_string(number) +
                                    " looks unread (all bytes " + hexByte(*fill) + ")");
          }
        });
    chains_.push_back(std::move(chain));
    disk_.files.push_back(std::move(file));
  }

  void readFolder(std::span<const std::uint8_t> entries, const std::string& prefix, int depth) {
    LongName longName;
    std::vector<std::pair<std::string, int>> folders;  // path and first cluster
    for (std::size_t at = 0; at + kEntrySize <= entries.size(); at += kEntrySize) {
      const auto entry = entries.subspan(at, kEntrySize);
      const std::uint8_t attributes = entry[11];
      if (entry[0] == 0x00) break;
      if (entry[0] == 0xE5) {
        longName.clear();
        continue;
      }
      if (attributes == kLongNamePart) {
        longName.add(entry);
        continue;
      }
      const std::optional<std::string> longText = longName.take(entry);
      if ((attributes & kVolumeLabel) != 0) {
        if (depth == 0 && disk_.label.empty()) {
          std::string label = shortName(entry);
          label.erase(std::remove(label.begin(), label.end(), '.'), label.end());
          disk_.label = label.substr(0, label.find_last_not_of(' ') + 1);
        }
        continue;
      }
      if (entry[0] == '.') continue;  // "." and ".."
      const std::string name = shortName(entry);
      const std::string path = prefix + safeName(longText ? *longText : name);
      if ((attributes & kFolder) != 0) {
        folders.emplace_back(path, le16(entry, 26));
      } else {
        readFile(entry, path, name);
      }
    }
    for (const auto& [path, start] : folders) {
      const std::string owner = "the folder " + path;
      if (depth + 1 >= kDeepestFolder) {
        disk_.problems.push_back(owner + ": folders nest deeper than " +
                                 std::to_string(kDeepestFolder) + " levels; not read");
        continue;
      }
      if (std::find(folderStarts_.begin(), folderStarts_.end(), start) != folderStarts_.end()) {
        disk_.problems.push_back(owner + ": it is a folder already read; not read again");
        continue;
      }
      folderStarts_.push_back(start);
      Chain chain = follow(start, owner);
      const std::vector<std::uint8_t> bytes =
          data(chain, static_cast<std::int64_t>(chain.clusters.size()) * clusterBytes(),
               [](std::int64_t, std::span<const std::uint8_t>) {});
      chains_.push_back(std::move(chain));
      readFolder(bytes, path + '/', depth + 1);
    }
  }

  // Chains that share a cluster. When one of the two is otherwise sound, the other one ran into
  // it and alone is damaged; otherwise both are.
  void findCrossLinks() {
    std::vector<int> owner(static_cast<std::size_t>(g_.clusterCount) + kFirstCluster, -1);
    for (std::size_t i = 0; i < chains_.size(); ++i) {
      for (int cluster : chains_[i].clusters) {
        int& first = owner[static_cast<std::size_t>(cluster)];
        if (first < 0) {
          first = static_cast<int>(i);
          continue;
        }
        Chain& a = chains_[static_cast<std::size_t>(first)];
        Chain& b = chains_[i];
        const bool aSound = a.broken.empty() && a.length.empty();
        const bool bSound = b.broken.empty() && b.length.empty();
        const std::string where = "cluster " + std::to_string(cluster) + " is also in ";
        if (!(aSound && !bSound) && a.crossLinked.empty()) a.crossLinked = where + b.owner;
        if (!(bSound && !aSound) && b.crossLinked.empty()) b.crossLinked = where + a.owner;
      }
    }
  }

  std::span<const std::uint8_t> image_;
  const DiskGeometry& g_;
  const Fat& fat_;
  DiskImage disk_;
  std::vector<Chain> chains_;
  std::vector<int> folderStarts_;
  std::size_t damageCount_ = 0;
};

}  // namespace

DiskImage readDiskImage(std::span<const std::uint8_t> image) {
  const DiskGeometry geometry = geometryOf(image);
  std::vector<Fat> copies;
  for (int copy = 0; copy < geometry.fatCount; ++copy) {
    Fat fat(image, geometry, copy);
    if (fat.present()) copies.push_back(fat);
  }
  if (copies.empty()) {
    throw FatalStop({}, "is not a floppy-disk image that can be read: it ends before its FAT");
  }
  int differing = 0;
  if (copies.size() == 2) {
    for (int cluster = 0; cluster < geometry.clusterCount + kFirstCluster; ++cluster) {
      differing += copies[0].next(cluster) != copies[1].next(cluster) ? 1 : 0;
    }
  }
  DiskReader first(image, geometry, copies[0]);
  DiskImage disk = first.read();
  if (differing == 0) return disk;

  // The copies disagree: believe the one with which less of the disk is damaged.
  DiskReader second(image, geometry, copies[1]);
  DiskImage other = second.read();
  const std::size_t firstDamage = first.damageCount();
  const std::size_t secondDamage = second.damageCount();
  const bool useSecond = secondDamage < firstDamage;
  std::string note = "the two copies of the FAT disagree about " +
                     plural(differing, "cluster", "clusters") + "; the " +
                     (useSecond ? "second" : "first") + " copy was used";
  if (firstDamage != secondDamage) {
    note += ", with which " +
            plural(static_cast<std::int64_t>(std::min(firstDamage, secondDamage)),
                   "file or folder is", "files or folders are") +
            " damaged against " + std::to_string(std::max(firstDamage, secondDamage));
  }
  DiskImage& used = useSecond ? other : disk;
  used.fatNote = note;
  return std::move(used);
}

}  // namespace koralux
