// koralux-cli converting many files in one call: several inputs, folder trees, --output-dir,
// parallel conversions, failures that do not stop the others, and the progress line.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::ProcessResult;
using test::readFile;
using test::TemporaryFolder;
using Arguments = std::vector<std::string>;

// koralux-cli run in `folder`, its output streams caught in files (so neither is a terminal).
ProcessResult cli(const TemporaryFolder& folder, Arguments arguments) {
  arguments.insert(arguments.begin(), KORALUX_CLI);
  ProcessResult run = test::runProcess(std::move(arguments), folder.path());
#if defined(_WIN32)
  // Windows joins the walked names with its own separator; the tests name files with '/'.
  std::replace(run.out.begin(), run.out.end(), '\\', '/');
  std::replace(run.err.begin(), run.err.end(), '\\', '/');
#endif
  return run;
}

// Windows has no pseudo-terminal to run it on (the console is not a file that a test can read),
// so the progress line is Linux's test only.
#if !defined(_WIN32)
// koralux-cli run in `folder` on a pseudo-terminal (util-linux's `script`): `out` holds what
// the terminal showed, standard output and error together.
ProcessResult cliOnTerminal(const TemporaryFolder& folder, const std::string& arguments) {
  return test::runProcess(
      {"script", "-qec", std::string("'") + KORALUX_CLI + "' " + arguments, "/dev/null"},
      folder.path());
}
#endif

// Songs in folders as an organ owner keeps them, and one outside.
const char* const kSongs[] = {"archive/disk1/MDR_00.EVT", "archive/disk1/MDR_01.EVT",
                              "archive/disk2/live/take.Evt", "archive/disk2/song.evt", "extra.evt"};

void makeArchive(const TemporaryFolder& folder) {
  for (std::uint64_t seed = 1; seed <= std::size(kSongs); ++seed) {
    fs::create_directories(fs::path(folder.file(kSongs[seed - 1])).parent_path());
    test::writeFile(
        folder.file(kSongs[seed - 1]),
        generatePerformance({.seed = seed, .seconds = 2.0 + static_cast<double>(seed)}));
  }
  test::writeFile(folder.file("archive/disk1/notes.txt"), test::hex("'not a performance'"));
}

// `input` converted on its own, with `settings`.
test::Bytes convertedAlone(const TemporaryFolder& folder, const std::string& input,
                           Arguments settings = {}) {
  settings.insert(settings.end(), {input, "-q", "-o", "alone.mid"});
  EXPECT_EQ(cli(folder, settings).status, 0) << input;
  return readFile(folder.file("alone.mid"));
}

TEST(CliBatch, ConvertsEachInputToTheSameBytesAsAlone) {
  const Arguments settings = {"--key", "e flat major", "--time", "3/4", "--rhythm-unit-absent"};
  // The outputs of the first songs of kSongs, in order: every name ending in .evt in any case
  // is walked, and only a lower-case ".evt" is replaced.
  const std::pair<Arguments, std::vector<std::string>> cases[] = {
      {{"--recursive", "archive"},
       {"archive/disk1/MDR_00.EVT.mid", "archive/disk1/MDR_01.EVT.mid",
        "archive/disk2/live/take.Evt.mid", "archive/disk2/song.mid"}},
      {{"-r", "archive", "extra.evt", "--output-dir", "out/midi", "-j", "3"},
       {"out/midi/disk1/MDR_00.EVT.mid", "out/midi/disk1/MDR_01.EVT.mid",
        "out/midi/disk2/live/take.Evt.mid", "out/midi/disk2/song.mid", "out/midi/extra.mid"}},
  };
  for (auto [arguments, outputs] : cases) {
    SCOPED_TRACE(outputs.at(0));
    TemporaryFolder folder;
    makeArchive(folder);
    arguments.insert(arguments.end(), settings.begin(), settings.end());
    const ProcessResult run = cli(folder, arguments);
    const std::string count = std::to_string(outputs.size());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "Converted " + count + " of " + count + " files\n");  // no progress line
    // Nothing written but the outputs named.
    const auto written = std::count_if(
        fs::recursive_directory_iterator(folder.path()), fs::recursive_directory_iterator(),
        [](const fs::directory_entry& e) { return e.path().extension() == ".mid"; });
    EXPECT_EQ(static_cast<std::size_t>(written), outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      EXPECT_TRUE(contains(run.out, " to " + outputs[i] + "\n")) << run.out;
      EXPECT_TRUE(test::sameBytes(convertedAlone(folder, kSongs[i], settings),
                                  readFile(folder.file(outputs[i]))))
          << outputs[i];
    }
  }
}

TEST(CliBatch, FailuresAreNamedAndDoNotStopTheOthers) {
  TemporaryFolder folder;
  makeArchive(folder);
  // Damaged: the file ends inside a system-exclusive message.
  test::writeFile(folder.file("archive/disk1/MDR_02.EVT"), test::performance("90 3C 64 F0 01 02"));
  test::writeFile(folder.file("song.evt"), readFile(folder.file("extra.evt")));
  const std::pair<Arguments, std::vector<std::string>> cases[] = {
      {{"-r", "archive", "missing.evt", "-j", "2"},
       {"koralux-cli: archive/disk1/MDR_02.EVT: the file ends inside a system-exclusive message",
        "koralux-cli: missing.evt: " + test::noSuchFile() + "\n",
        "Converted 4 of 6 files, 2 failed\n"}},
      // A folder named without --recursive, with the way out; two outputs that would be one
      // file, the first named converted; a file named twice, converted once.
      {{"extra.evt", "archive", "./extra.evt", "archive/disk2/song.evt", "song.evt", "--output-dir",
        "out"},
       {"koralux-cli: archive: is a folder; add --recursive",
        "koralux-cli: song.evt: not converted: its output out/song.mid is also the output of "
        "archive/disk2/song.evt\n",
        "Converted 2 of 4 files, 2 failed\n"}},
  };
  for (const auto& [arguments, messages] : cases) {
    const ProcessResult run = cli(folder, arguments);
    EXPECT_EQ(run.status, 1);
    for (const std::string& message : messages) EXPECT_TRUE(contains(run.err, message)) << run.err;
  }
  // Every file that could be converted was, and nothing else.
  const test::Bytes song = convertedAlone(folder, "archive/disk2/song.evt");
  EXPECT_EQ(song, readFile(folder.file("archive/disk2/song.mid")));
  EXPECT_EQ(song, readFile(folder.file("out/song.mid")));
  EXPECT_EQ(convertedAlone(folder, "extra.evt"), readFile(folder.file("out/extra.mid")));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk1/MDR_02.EVT.mid")));
}

TEST(CliBatch, RefusedCallsConvertNothing) {
  TemporaryFolder folder;
  makeArchive(folder);
  const std::pair<Arguments, const char*> refused[] = {
      {{"archive/disk2/song.evt", "extra.evt", "-o", "x.mid"}, "-o names one output file"},
      {{"-r", "archive", "-o", "x.mid"}, "or use --output-dir DIR"},
      {{"extra.evt", "-o", "x.mid", "--output-dir", "out"}, "cannot be used together"},
      {{"-r", "archive", "-j", "0"}, "--jobs"},
      {{"-r", "archive", "--key", "H Major"}, "--key"},
  };
  for (const auto& [arguments, message] : refused) {
    const ProcessResult run = cli(folder, arguments);
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_TRUE(contains(run.err, message)) << run.err;
  }
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"archive", "extra.evt"}));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk2/song.mid")));

  // One file with -j is converted as ever, to the output -o names.
  EXPECT_EQ(cli(folder, {"extra.evt", "-o", "x.mid", "-j", "2"}).status, 0);
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"archive", "extra.evt", "x.mid"}));
}

#if !defined(_WIN32)
TEST(CliBatch, ProgressLineOnlyOnATerminal) {
  TemporaryFolder folder;
  makeArchive(folder);
  // (Not on a terminal, standard error holds the summary alone: see the first test.)
  const ProcessResult shown = cliOnTerminal(folder, "-r archive");
  EXPECT_EQ(shown.status, 0);
  for (const char* part : {"\rConverting: ", "of 4 files done", "Converted 4 of 4 files"}) {
    EXPECT_TRUE(contains(shown.out, part)) << shown.out;
  }
  // Quiet: nothing on the terminal at all.
  EXPECT_EQ(cliOnTerminal(folder, "-r archive -q").out, "");
}
#endif

}  // namespace
}  // namespace koralux
