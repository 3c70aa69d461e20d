// koralux-cli converting many files in one call: several inputs, folder trees, --output-dir,
// parallel conversions, failures that do not stop the others, and the progress line.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::performance;
using test::TemporaryFolder;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& argument) {
  std::string text = "'";
  for (char c : argument) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

std::string command(const TemporaryFolder& folder, const std::vector<std::string>& arguments) {
  std::string line = "cd " + quoted(folder.path().string()) + " && " + quoted(KORALUX_CLI);
  for (const auto& argument : arguments) line += " " + quoted(argument);
  return line;
}

std::string text(const std::string& path) {
  const Bytes bytes = test::readFile(path);
  return {bytes.begin(), bytes.end()};
}

int exitStatus(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs koralux-cli in `folder` with its output streams captured in files (so neither is a
// terminal).
CliRun cli(const TemporaryFolder& folder, const std::vector<std::string>& arguments) {
  const std::string out = folder.file(".out");
  const std::string err = folder.file(".err");
  const int raw = std::system(
      (command(folder, arguments) + " >" + quoted(out) + " 2>" + quoted(err) + " </dev/null")
          .c_str());
  CliRun run{exitStatus(raw), text(out), text(err)};
  fs::remove(out);
  fs::remove(err);
  return run;
}

// Runs koralux-cli in `folder` on a pseudo-terminal (util-linux's `script`); returns what the
// terminal showed: standard output and standard error together.
CliRun cliOnTerminal(const TemporaryFolder& folder, const std::vector<std::string>& arguments) {
  const std::string shown = folder.file(".shown");
  const int raw = std::system(("script -qec " + quoted(command(folder, arguments)) +
                               " /dev/null >" + quoted(shown) + " </dev/null")
                                  .c_str());
  CliRun run{exitStatus(raw), text(shown), {}};
  fs::remove(shown);
  return run;
}

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

std::size_t lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

Bytes song(std::uint64_t seed, double seconds = 4) {
  GeneratorOptions options;
  options.seed = seed;
  options.seconds = seconds;
  options.pedalWithoutReleases = seed % 2 == 0;
  return generatePerformance(options);
}

// A floppy disk's worth of songs in folders, as an organ owner keeps them:
//   disk1/MDR_00.EVT  disk1/MDR_01.EVT  disk1/notes.txt  disk2/live/take.Evt  disk2/song.evt
void makeArchive(const TemporaryFolder& folder) {
  fs::create_directories(folder.path() / "archive/disk1");
  fs::create_directories(folder.path() / "archive/disk2/live");
  test::writeFile(folder.file("archive/disk1/MDR_00.EVT"), song(1));
  test::writeFile(folder.file("archive/disk1/MDR_01.EVT"), song(2));
  test::writeFile(folder.file("archive/disk1/notes.txt"), test::hex("'not a performance'"));
  test::writeFile(folder.file("archive/disk2/live/take.Evt"), song(3));
  test::writeFile(folder.file("archive/disk2/song.evt"), song(4));
}

TEST(CliBatch, WritesTheSameBytesAsSingleConversions) {
  TemporaryFolder folder;
  fs::create_directories(folder.path() / "one");
  std::vector<std::string> names;
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    names.push_back("song" + std::to_string(seed) + ".evt");
    test::writeFile(folder.file(names.back()), song(seed, 2.0 + static_cast<double>(seed)));
  }
  const std::vector<std::string> settings = {"--key", "e flat major", "--time", "3/4",
                                             "--rhythm-unit-absent"};
  for (const std::string& name : names) {
    std::vector<std::string> arguments = {name, "-q", "-o", "one/" + name + ".mid"};
    arguments.insert(arguments.end(), settings.begin(), settings.end());
    ASSERT_EQ(cli(folder, arguments).status, 0) << name;
  }

  std::vector<std::string> arguments = names;
  arguments.insert(arguments.end(), {"-j", "3"});
  arguments.insert(arguments.end(), settings.begin(), settings.end());
  const CliRun batch = cli(folder, arguments);
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(lines(batch.out), names.size()) << batch.out;
  EXPECT_EQ(batch.err, "Converted 6 of 6 files\n");
  for (const std::string& name : names) {
    const std::string output = name.substr(0, name.size() - 4) + ".mid";
    EXPECT_TRUE(contains(batch.out, " to " + output + "\n")) << batch.out;
    EXPECT_TRUE(test::sameBytes(test::readFile(folder.file("one/" + name + ".mid")),
                                test::readFile(folder.file(output))))
        << name;
  }
}

TEST(CliBatch, RecursiveConvertsEveryPerformanceBesideItself) {
  TemporaryFolder folder;
  makeArchive(folder);
  const CliRun run = cli(folder, {"--recursive", "archive"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "Converted 4 of 4 files\n");
  // The derived names: only a lower-case ".evt" is replaced.
  for (const char* output : {"archive/disk1/MDR_00.EVT.mid", "archive/disk1/MDR_01.EVT.mid",
                             "archive/disk2/live/take.Evt.mid", "archive/disk2/song.mid"}) {
    EXPECT_TRUE(fs::is_regular_file(folder.file(output))) << output;
    EXPECT_TRUE(contains(run.out, std::string(" to ") + output + "\n")) << run.out;
  }
  EXPECT_FALSE(fs::exists(folder.file("archive/disk1/notes.txt.mid")));

  // Run again: the outputs just written are not performances and are left alone.
  EXPECT_EQ(cli(folder, {"-r", "archive", "-q"}).status, 0);
  EXPECT_FALSE(fs::exists(folder.file("archive/disk2/song.mid.mid")));
}

TEST(CliBatch, OutputDirKeepsTheLayoutOfTheTree) {
  TemporaryFolder folder;
  makeArchive(folder);
  test::writeFile(folder.file("extra.evt"), song(5));
  const CliRun run = cli(folder, {"-r", "archive", "extra.evt", "--output-dir", "out/midi"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* output :
       {"out/midi/disk1/MDR_00.EVT.mid", "out/midi/disk1/MDR_01.EVT.mid",
        "out/midi/disk2/live/take.Evt.mid", "out/midi/disk2/song.mid", "out/midi/extra.mid"}) {
    EXPECT_TRUE(fs::is_regular_file(folder.file(output))) << output;
  }
  // Nothing beside the inputs.
  EXPECT_FALSE(fs::exists(folder.file("archive/disk2/song.mid")));
  EXPECT_FALSE(fs::exists(folder.file("extra.mid")));
  // The same bytes as a conversion of the file on its own.
  ASSERT_EQ(cli(folder, {"archive/disk2/song.evt", "-q", "-o", "alone.mid"}).status, 0);
  EXPECT_EQ(test::readFile(folder.file("alone.mid")),
            test::readFile(folder.file("out/midi/disk2/song.mid")));
}

TEST(CliBatch, FailuresAreNamedAndDoNotStopTheOthers) {
  TemporaryFolder folder;
  makeArchive(folder);
  // Damaged: the file ends inside a system-exclusive message.
  test::writeFile(folder.file("archive/disk1/MDR_02.EVT"), performance("90 3C 64 F0 01 02"));
  const CliRun run = cli(folder, {"-r", "archive", "missing.evt", "-j", "2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err,
                       "koralux-cli: archive/disk1/MDR_02.EVT: the file ends inside a "
                       "system-exclusive message"))
      << run.err;
  EXPECT_TRUE(contains(run.err, "koralux-cli: missing.evt: No such file or directory\n"))
      << run.err;
  EXPECT_TRUE(contains(run.err, "Converted 4 of 6 files, 2 failed\n")) << run.err;
  EXPECT_EQ(lines(run.out), 4u) << run.out;
  EXPECT_TRUE(fs::exists(folder.file("archive/disk2/song.mid")));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk1/MDR_02.EVT.mid")));

  // A folder named without --recursive is a failure of its own, with the way out.
  const CliRun plain = cli(folder, {"archive/disk2/song.evt", "archive"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_TRUE(contains(plain.err, "archive: is a folder; add --recursive")) << plain.err;
}

TEST(CliBatch, OutputsThatWouldCollideAreRefused) {
  TemporaryFolder folder;
  fs::create_directories(folder.path() / "a");
  fs::create_directories(folder.path() / "b");
  test::writeFile(folder.file("a/song.evt"), song(1));
  test::writeFile(folder.file("b/song.evt"), song(2));
  const CliRun run = cli(folder, {"a/song.evt", "b/song.evt", "--output-dir", "out"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err,
                       "b/song.evt: not converted: its output out/song.mid is also the "
                       "output of a/song.evt"))
      << run.err;
  ASSERT_EQ(cli(folder, {"a/song.evt", "-q", "-o", "a.mid"}).status, 0);
  EXPECT_EQ(test::readFile(folder.file("a.mid")), test::readFile(folder.file("out/song.mid")));

  // A file named twice is converted once.
  const CliRun twice = cli(folder, {"a/song.evt", "./a/song.evt"});
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(twice.err, "Converted 1 of 1 file\n");
}

TEST(CliBatch, UsageErrors) {
  TemporaryFolder folder;
  makeArchive(folder);
  const CliRun two =
      cli(folder, {"archive/disk2/song.evt", "archive/disk1/MDR_00.EVT", "-o", "x.mid"});
  EXPECT_EQ(two.status, 2);
  EXPECT_TRUE(contains(two.err, "-o names one output file")) << two.err;
  EXPECT_TRUE(contains(two.err, "--output-dir")) << two.err;
  EXPECT_EQ(cli(folder, {"-r", "archive", "-o", "x.mid"}).status, 2);
  EXPECT_EQ(cli(folder, {"archive/disk2/song.evt", "-o", "x.mid", "--output-dir", "out"}).status,
            2);
  EXPECT_EQ(cli(folder, {"-r", "archive", "-j", "0"}).status, 2);
  EXPECT_EQ(cli(folder, {"-r", "archive", "--key", "H Major"}).status, 2);
  // Nothing was converted by the refused calls.
  EXPECT_FALSE(fs::exists(folder.file("x.mid")));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk2/song.mid")));

  // One file with -j is converted as ever, to the output -o names.
  const CliRun one = cli(folder, {"archive/disk2/song.evt", "-o", "x.mid", "-j", "2"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_TRUE(contains(one.out, "to x.mid\n")) << one.out;
  EXPECT_TRUE(fs::exists(folder.file("x.mid")));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk2/song.mid")));
}

TEST(CliBatch, ProgressLineOnlyOnATerminal) {
  TemporaryFolder folder;
  makeArchive(folder);
  const CliRun logged = cli(folder, {"-r", "archive"});
  EXPECT_EQ(logged.status, 0);
  EXPECT_FALSE(contains(logged.err, "\r")) << logged.err;
  EXPECT_FALSE(contains(logged.err, "Converting")) << logged.err;

  const CliRun shown = cliOnTerminal(folder, {"-r", "archive"});
  EXPECT_EQ(shown.status, 0);
  EXPECT_TRUE(contains(shown.out, "\rConverting: ")) << shown.out;
  EXPECT_TRUE(contains(shown.out, "of 4 files done")) << shown.out;
  EXPECT_TRUE(contains(shown.out, "Converted 4 of 4 files")) << shown.out;
  // Quiet: nothing on the terminal at all.
  EXPECT_EQ(cliOnTerminal(folder, {"-r", "archive", "-q"}).out, "");
}

}  // namespace
}  // namespace koralux
