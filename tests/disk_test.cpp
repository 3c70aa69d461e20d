// Floppy-disk images made by mtools and dosfstools, as the organ's disks hold them (40 songs,
// their registration files, a stray MIDI file): koralux-cli converts every song to the bytes
// the performance file itself gives, describes and extracts the disk, and on images damaged
// byte by byte names the damaged song with its reason while the others come out unchanged and
// the image is never touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "engine/conversion_run.hpp"
#include "tests/disk_images.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;

using test::slotName;
constexpr int kSongs = test::kDiskSongs;

// The files of a disk, each song's conversion, and images made of them.
class DiskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new test::SongDisk;
    expected_ = new std::vector<test::Bytes>;
    for (const test::Bytes& song : files_->songs()) {
      SilentObserver silent;
      expected_->push_back(convertPerformance(song, {}, silent).midi);
    }
  }
  static void TearDownTestSuite() {
    delete files_;
    delete expected_;
  }

  // Whether the song in `slot` was converted into `folder` as its file converts.
  static ::testing::AssertionResult convertedAsItsFile(const fs::path& folder, int slot) {
    const fs::path output = folder / (slotName(slot, "EVT") + ".mid");
    return test::sameBytes((*expected_)[static_cast<std::size_t>(slot)], readFile(output.string()))
           << output;
  }

  static test::SongDisk* files_;
  static std::vector<test::Bytes>* expected_;
};

test::SongDisk* DiskTest::files_ = nullptr;
std::vector<test::Bytes>* DiskTest::expected_ = nullptr;

TEST_F(DiskTest, EverySongConvertsAsItsFileDoes) {
  for (const char* image : {"disk144.img", "disk720.img"}) {
    test::TemporaryFolder out;
    const auto run = test::cli({files_->file(image), "--output-dir", out.path().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err,
                         "Converted 40 of 40 songs, 0 damaged; 41 files on the disk "
                         "skipped (not songs)\n"))
        << run.err;
    for (int slot = 0; slot < kSongs; ++slot) {
      EXPECT_TRUE(convertedAsItsFile(out.path() / fs::path(image).stem(), slot));
    }
  }
}

TEST_F(DiskTest, ListsTheDisk) {
  const auto run = test::cli({"--info", "--json", files_->file("disk144.img")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto disk = nlohmann::json::parse(run.out).at(0);
  EXPECT_EQ(disk["format"], "1.44 MB");
  EXPECT_EQ(disk["geometrySource"], "bootSector");
  EXPECT_EQ(disk["label"], "ORGAN");
  ASSERT_EQ(disk["songs"].size(), 40u);
  const auto& song = disk["songs"][7];
  EXPECT_EQ(song["slot"], 7);
  EXPECT_EQ(song["state"], "fine");
  EXPECT_EQ(song["registrationFile"], "MDR_07.B00");
  EXPECT_GT(song["notesTotal"], 0);
  EXPECT_EQ(disk["registrationFiles"].size(), 40u);
  EXPECT_EQ(disk["otherFiles"][0]["path"], "SONG.MID");
}

TEST_F(DiskTest, ExtractsWhatMcopyDoes) {
  test::TemporaryFolder out;
  ASSERT_EQ(test::cli({"-q", "--extract", files_->file("disk720.img"), "--output-dir",
                       (out.path() / "ours").string()})
                .status,
            0);
  fs::create_directory(out.path() / "mcopy");
  ASSERT_EQ(
      test::runProcess({"mcopy", "-i", files_->file("disk720.img"), "::*", "mcopy/"}, out.path())
          .status,
      0);
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(out.path() / "mcopy")) {
    EXPECT_TRUE(test::sameBytes(readFile(entry.path().string()),
                                readFile((out.path() / "ours" / entry.path().filename()).string())))
        << entry.path();
    ++compared;
  }
  EXPECT_EQ(compared, 81);
}

// One song named by --song, from a zipped image too; bitstream images refused; -r walks
// folders that hold images beside performance files.
TEST_F(DiskTest, OneSongAndWalkedFolders) {
  test::TemporaryFolder folder;
  fs::copy_file(files_->file("disk720.img"), folder.file("disk.ima"));
  ASSERT_EQ(test::runProcess({"zip", "-q", "disk.imz", "disk.ima"}, folder.path()).status, 0);
  for (const char* image : {"disk.ima", "disk.imz"}) {
    const auto run = test::cli({image, "--song", "3", "-o", "song.mid"}, folder.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "Wrote 5 tracks (475 of 475 notes) to song.mid\n");
    EXPECT_TRUE(test::sameBytes((*expected_)[3], readFile(folder.file("song.mid")))) << image;
  }
  fs::copy_file(files_->file("disk720.img"), folder.file("disk.hfe"));
  EXPECT_EQ(test::cli({"disk.hfe"}, folder.path()).err,
            "koralux-cli: disk.hfe: is a bitstream image of a disk's tracks, which is not read; "
            "make a sector image (.img) of the disk from it first\n");
  ASSERT_EQ(
      test::runProcess({"mformat", "-C", "-f", "1440", "-i", "blank.img", "::"}, folder.path())
          .status,
      0);
  EXPECT_EQ(test::cli({"blank.img"}, folder.path()).err,
            "koralux-cli: no songs (.EVT files) found on the disk; 0 other files skipped\n");

  fs::create_directories(folder.path() / "tree" / "box");
  fs::copy_file(files_->file("disk144.img"), folder.path() / "tree" / "box" / "Disk1.IMG");
  fs::copy_file(files_->file("MDR_04.EVT"), folder.path() / "tree" / "MDR_04.EVT");
  const auto walked = test::cli({"-q", "-r", "tree", "--output-dir", "out"}, folder.path());
  EXPECT_EQ(walked.status, 0) << walked.err;
  EXPECT_TRUE(convertedAsItsFile(folder.path() / "out", 4));
  EXPECT_TRUE(convertedAsItsFile(folder.path() / "out" / "box" / "Disk1", 39));
}

// Subfolders and long names, as a PC writes them: the song keeps its long name and its folder.
TEST_F(DiskTest, SongsInSubfoldersKeepTheirLongNames) {
  test::TemporaryFolder folder;
  const std::string image = folder.file("small.img");
  ASSERT_EQ(test::runProcess({"mformat", "-C", "-i", image, "-t", "4", "-h", "2", "-s", "8", "::"})
                .status,
            0);
  ASSERT_EQ(test::runProcess({"mmd", "-i", image, "::Takes"}).status, 0);
  ASSERT_EQ(test::runProcess(
                {"mcopy", "-i", image, files_->file("MDR_01.EVT"), "::Takes/Sunday take.evt"})
                .status,
            0);
  const auto run = test::cli({"--info", "--json", image});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto song = nlohmann::json::parse(run.out).at(0)["songs"].at(0);
  EXPECT_EQ(song["diskPath"], "Takes/Sunday take.evt");
  EXPECT_EQ(song["slot"], nullptr);
  ASSERT_EQ(test::cli({"-q", image}, folder.path()).status, 0);
  EXPECT_TRUE(
      test::sameBytes((*expected_)[1], readFile(folder.file("small/Takes/Sunday take.mid"))));
}

using test::firstCluster;
using test::sectorOf;
using test::setFat;

TEST_F(DiskTest, DamageStaysWithTheDamagedSong) {
  const std::string good = files_->file("disk144.img");
  const int first = firstCluster(good, slotName(5, "EVT"));
  const int other = firstCluster(good, slotName(6, "EVT"));
  const auto both = [](test::Bytes& image, int cluster, int value) {
    setFat(image, 0, cluster, value);
    setFat(image, 1, cluster, value);
  };
  struct Case {
    const char* name;
    std::function<void(test::Bytes&)> damage;
    int damagedSlot;      // -1: every song converts
    std::string message;  // on standard error
  };
  const std::string song5 = "disk.img/MDR_05.EVT: damaged, not converted: ";
  const Case cases[] = {
      {"zeroed boot sector", [](test::Bytes& image) { std::fill_n(image.begin(), 512, 0); }, -1,
       ""},
      {"first FAT disagrees", [&](test::Bytes& image) { setFat(image, 0, first + 1, first); }, -1,
       "disk.img: the two copies of the FAT disagree about 1 cluster; the second copy was used, "
       "with which 0 files or folders are damaged against 1\n"},
      {"loop", [&](test::Bytes& image) { both(image, first + 3, first + 1); }, 5,
       song5 + "the cluster chain loops back to cluster " + std::to_string(first + 1)},
      {"cross-link", [&](test::Bytes& image) { both(image, first + 2, other); }, 5,
       song5 + "cluster " + std::to_string(other) + " is also in MDR_06.EVT"},
      {"out-of-range cluster", [&](test::Bytes& image) { both(image, first, 3000); }, 5,
       song5 + "the cluster chain leads to cluster 3000, outside the disk (clusters 2 to 2848)"},
      {"cut short", [&](test::Bytes& image) { image.resize(sectorOf(first + 4) * 512 + 100); }, 5,
       song5 + "cluster " + std::to_string(first + 4) +
           " lies beyond the end of the image, which is cut short"},
      {"filler sector",
       [&](test::Bytes& image) {
         std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(sectorOf(first + 2) * 512), 512,
                     0xF6);
       },
       -1,
       "disk.img/MDR_05.EVT: warning: sector " + std::to_string(sectorOf(first + 2)) +
           " looks unread (all bytes F6)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TemporaryFolder folder;
    test::Bytes image = readFile(good);
    c.damage(image);
    const std::string path = folder.file("disk.img");
    test::writeFile(path, image);
    const auto written = fs::last_write_time(path);
    const auto run =
        test::runProcess(test::cliCommand({"disk.img", "--output-dir", "out"}), folder.path());
    EXPECT_TRUE(contains(run.err, c.message)) << run.err;
    EXPECT_EQ(run.status, c.damagedSlot >= 0 ? 1 : 0) << run.err;
    if (c.damagedSlot >= 0 && std::string(c.name) != "cut short") {
      EXPECT_TRUE(contains(run.err, "Converted 39 of 40 songs, 1 damaged;")) << run.err;
    }
    // Every song but the damaged one (and those a cut takes) comes out as its file does.
    const int intact = std::string(c.name) == "cut short" ? 5 : kSongs;
    for (int slot = 0; slot < intact; ++slot) {
      if (slot == 5 && (c.damagedSlot == 5 || std::string(c.name) == "filler sector")) continue;
      EXPECT_TRUE(convertedAsItsFile(folder.path() / "out" / "disk", slot));
    }
    EXPECT_TRUE(test::sameBytes(image, readFile(path)));
    EXPECT_EQ(fs::last_write_time(path), written);
  }
}

}  // namespace
}  // namespace koralux
