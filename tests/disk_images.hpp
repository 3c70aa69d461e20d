#pragma once
// Floppy-disk images as the organ's disks hold them, made by mtools and dosfstools (Linux
// programs), and the layout of the 1.44 MB one for damaging it byte by byte.

#include <cstdio>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux::test {

inline constexpr int kDiskSongs = 40;

inline std::string slotName(int slot, const char* extension) {  // "MDR_07.EVT" of 7, "EVT"
  char name[32];  // room for any int
  std::snprintf(name, sizeof name, "MDR_%02d.%s", slot, extension);
  return name;
}

// In a folder of their own: the songs MDR_nn.EVT (generated, seed nn + 1, 20 seconds), each
// with a registration file MDR_nn.B00, a stray SONG.MID, and the images disk144.img (mformat,
// labelled ORGAN) and disk720.img (mkfs.fat) holding them all.
class SongDisk {
 public:
  SongDisk() {
    std::vector<std::string> copy = {"mcopy", "-i", "IMAGE"};
    for (int slot = 0; slot < kDiskSongs; ++slot) {
      songs_.push_back(
          generatePerformance({.seed = static_cast<std::uint64_t>(slot) + 1, .seconds = 20}));
      writeFile(file(slotName(slot, "EVT")), songs_.back());
      writeFile(file(slotName(slot, "B00")), Bytes(static_cast<std::size_t>(1500 + slot), 0x5A));
      copy.insert(copy.end(), {slotName(slot, "EVT"), slotName(slot, "B00")});
    }
    writeFile(file("SONG.MID"), hex("4D 54 68 64 00 00 00 06"));
    copy.insert(copy.end(), {"SONG.MID", "::"});
    for (const std::string image : {"disk144.img", "disk720.img"}) {
      const auto format = image == "disk144.img"
                              ? std::vector<std::string>{"mformat", "-C", "-i",    image, "-f",
                                                         "1440",    "-v", "ORGAN", "::"}
                              : std::vector<std::string>{"mkfs.fat", "-C", image, "720"};
      copy[2] = image;
      EXPECT_EQ(runProcess(format, files_.path()).status, 0) << image;
      EXPECT_EQ(runProcess(copy, files_.path()).status, 0) << image;
    }
  }
  std::string file(std::string_view name) const { return files_.file(name); }
  const std::vector<Bytes>& songs() const { return songs_; }

 private:
  TemporaryFolder files_;
  std::vector<Bytes> songs_;
};

// The 1.44 MB layout: the boot sector, two FATs of 9 sectors, 14 sectors of root folder. The
// sector that holds `cluster`, and `cluster`'s entry in FAT copy `copy` set to `value`.
inline std::size_t sectorOf(int cluster) {
  return static_cast<std::size_t>(33 + cluster - 2);
}
inline void setFat(Bytes& image, int copy, int cluster, int value) {
  const std::size_t at = static_cast<std::size_t>(512 + copy * 9 * 512 + cluster * 3 / 2);
  const int pair = image[at] | image[at + 1] << 8;
  const int next = (cluster & 1) != 0 ? (pair & 0x000F) | value << 4 : (pair & 0xF000) | value;
  image[at] = static_cast<std::uint8_t>(next & 0xFF);
  image[at + 1] = static_cast<std::uint8_t>(next >> 8);
}

// The first cluster of a file on the image, as mshowfat tells it ("::/MDR_05.EVT <108-120>").
inline int firstCluster(const std::string& image, const std::string& name) {
  const auto run = runProcess({"mshowfat", "-i", image, "::" + name});
  int first = 0;
  EXPECT_EQ(std::sscanf(run.out.c_str() + run.out.find('<'), "<%d", &first), 1) << run.out;
  return first;
}

}  // namespace koralux::test
