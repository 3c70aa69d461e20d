// koralux-cli as a user runs it, on one file and on many: what it prints and where, the settings
// it passes on, folder trees, --output-dir, parallel conversions, failures that do not stop the
// others, the progress line, and every usage error of the program in one table. (Failed
// conversions of a file are fault_test's.)

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;
using Arguments = std::vector<std::string>;

// Windows joins the walked names with its own separator; the expectations name files with '/'.
std::string withSlashes(std::string text) {
#if defined(_WIN32)
  std::replace(text.begin(), text.end(), '\\', '/');
#endif
  return text;
}

TEST(Cli, SaysWhatItWroteAndWhere) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  const test::ProcessResult run = test::cli({"song.evt"}, folder.path());
  EXPECT_EQ(run.out, "Wrote 2 tracks (1 of 1 notes) to song.mid\n");
  EXPECT_TRUE(contains(run.err, "Status: Transcribing Lower Upper Notes\n")) << run.err;
}

// Through standard output ("-o -" everywhere, /dev/stdout on Linux) the file arrives unchanged
// (no byte 0A made 0D 0A on Windows) and the line that names it goes to standard error.
TEST(Cli, WritesThroughStandardOutput) {
  test::TemporaryFolder folder;
  GeneratorOptions options;
  options.seconds = 20;
  test::writeFile(folder.file("song.evt"), generatePerformance(options));
  ASSERT_EQ(test::cli({"-q", "song.evt"}, folder.path()).status, 0);
  const test::Bytes song = readFile(folder.file("song.mid"));
  ASSERT_NE(std::find(song.begin(), song.end(), 0x0A), song.end());
  std::vector<std::string> names = {"-"};
#if !defined(_WIN32)
  names.push_back("/dev/stdout");
  // A standard output that cannot take the file is a failure, not a success.
  Arguments command = test::cliCommand({"song.evt", "-o", "-", "-q"});
  command.insert(command.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"});
  const auto full = test::runProcess(command, folder.path());
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "koralux-cli: standard output: No space left on device\n");
#endif
  for (const std::string& name : names) {
    const auto quiet = test::cli({"-q", "song.evt", "-o", name}, folder.path());
    EXPECT_EQ(quiet.err, "");
    EXPECT_TRUE(test::sameBytes(song, test::Bytes(quiet.out.begin(), quiet.out.end()))) << name;
    const auto out = test::cli({"song.evt", "-o", name}, folder.path());
    EXPECT_TRUE(contains(out.err, "notes) to " + name + "\n")) << out.err;
  }
}

TEST(Cli, SettingsReachTheFile) {
  test::TemporaryFolder folder;
  // The clock settles at 21 ms per marker; then 200 ms pass before a note, and the interpolated
  // time runs far past the next two markers, which only the old timing lets move the track.
  test::writeFile(folder.file("late.evt"),
                  test::performance(test::repeat("F3 15 FE 78", 200) +
                                    "F3 C8 90 3C 64 FE 78 FE 78 80 3C 40 FE 78"));
  const std::pair<Arguments, const char*> cases[] = {
      {{"--key", "g sharp MINOR", "--time", "6/8"}, "FF 58 04 06 03 0C 08 00 FF 59 02 05 01"},
      {{"--time", "255/128", "--rhythm-unit-absent"}, "FF 58 04 FF 07"},
      {{"--legacy-timing"}, "14 80 3C 54 14 FF 2F 00"},
  };
  for (auto [arguments, expected] : cases) {
    arguments.insert(arguments.end(), {"late.evt", "-q", "-o", "out.mid"});
    ASSERT_EQ(test::cli(arguments, folder.path()).status, 0) << expected;
    EXPECT_TRUE(contains(test::toHex(readFile(folder.file("out.mid"))), expected)) << expected;
  }
}

TEST(Cli, UsageErrorsSayWhatIsAcceptedAndConvertNothing) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  fs::create_directory(folder.path() / "archive");
  std::vector<std::pair<Arguments, std::string>> refused = {
      {{}, "INPUT is required"},
      {{"song.evt", "--frobnicate"}, "--frobnicate"},
      {{"song.evt", "--key", "H Major"}, "--key: unknown key \"H Major\"; accepted (any case): "},
      {{"-r", "archive", "--key", "H Major"}, "--key: unknown key"},
      {{"song.evt", "song.evt", "-o", "x.mid"}, "-o names one output file"},
      {{"-r", "archive", "-o", "x.mid"}, "or use --output-dir DIR"},
      {{"song.evt", "-o", "x.mid", "--output-dir", "out"}, "cannot be used together"},
      {{"-r", "archive", "-j", "0"}, "--jobs"},
      {{"--json", "song.evt"}, "--json requires --info"},
      {{"--info", "--dump", "song.evt"}, "--info excludes --dump"},
      {{"--info", "song.evt", "-o", "x.mid"}, "--output excludes --info"},
      {{"--dump", "song.evt", "song.evt"}, "--dump lists one file; 2 were given"},
      {{"song.evt", "--audio", "mp3"}, "--audio: mp3 not in {wav,flac,ogg}"},
      {{"song.evt", "--soundfont", "x.sf2"}, "--soundfont requires --audio"},
      {{"song.evt", "-o", "-", "--audio", "wav"}, "it cannot go with -o -"},
  };
  for (const std::string time : {"4", "4-4", "0/4", "4/0", "4/129", "256/4", "x/4", "3/"}) {
    refused.push_back({{"song.evt", "--time", time}, "--time: \"" + time + "\" is not a time"});
  }
  for (const auto& [arguments, message] : refused) {
    const test::ProcessResult run = test::cli(arguments, folder.path());
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_TRUE(run.out.empty() && run.err.starts_with("koralux-cli: ") &&
                contains(run.err, message))
        << run.err;
  }
  EXPECT_EQ(folder.entries(), (Arguments{"archive", "song.evt"}));
  std::istringstream help(test::cli({"--help"}).out);
  int lines = 0;
  for (std::string line; std::getline(help, line); ++lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_LE(lines, 24) << "the help fits one screen";
}

// Songs in folders as an organ owner keeps them, and one outside.
const char* const kSongs[] = {"archive/disk1/MDR_00.EVT", "archive/disk1/MDR_01.EVT",
                              "archive/disk2/live/take.Evt", "archive/disk2/song.evt", "extra.evt"};
const Arguments kSettings = {"--key", "e flat major", "--time", "3/4", "--rhythm-unit-absent"};

// Writes the songs, and returns each converted on its own with kSettings.
std::vector<test::Bytes> makeArchive(const test::TemporaryFolder& folder) {
  std::vector<test::Bytes> alone;
  for (std::uint64_t seed = 1; seed <= std::size(kSongs); ++seed) {
    const std::string song = folder.file(kSongs[seed - 1]);
    fs::create_directories(fs::path(song).parent_path());
    test::writeFile(song, generatePerformance({.seed = seed, .seconds = 2.0 + double(seed)}));
    Arguments arguments = kSettings;
    arguments.insert(arguments.end(), {song, "-q", "-o", folder.file("alone.mid")});
    EXPECT_EQ(test::cli(arguments).status, 0);
    alone.push_back(readFile(folder.file("alone.mid")));
  }
  fs::remove(folder.file("alone.mid"));
  test::writeFile(folder.file("archive/disk1/notes.txt"), test::hex("'not a performance'"));
  return alone;
}

TEST(CliBatch, ConvertsEachInputToTheSameBytesAsAlone) {
  test::TemporaryFolder folder;
  const std::vector<test::Bytes> alone = makeArchive(folder);
  Arguments arguments = {"-r", "archive", "extra.evt", "--output-dir", "out/midi", "-j", "3"};
  arguments.insert(arguments.end(), kSettings.begin(), kSettings.end());
  test::ProcessResult run = test::cli(arguments, folder.path());
  run.out = withSlashes(run.out);
  EXPECT_EQ(run.err, "Converted 5 of 5 files\n");  // no progress line
  // Every name ending in .evt in any case is walked; only a lower-case ".evt" is replaced.
  const char* const outputs[] = {"disk1/MDR_00.EVT.mid", "disk1/MDR_01.EVT.mid",
                                 "disk2/live/take.Evt.mid", "disk2/song.mid", "extra.mid"};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    EXPECT_TRUE(contains(run.out, std::string(" to out/midi/") + outputs[i] + "\n")) << run.out;
    EXPECT_TRUE(test::sameBytes(alone[i], readFile(folder.file("out/midi/") + outputs[i])));
  }
  const auto mid = [](const fs::directory_entry& e) { return e.path().extension() == ".mid"; };
  EXPECT_EQ(std::count_if(fs::recursive_directory_iterator(folder.path()),
                          fs::recursive_directory_iterator(), mid),
            5)
      << "nothing but the outputs";
}

TEST(CliBatch, FailuresAreNamedAndDoNotStopTheOthers) {
  test::TemporaryFolder folder;
  makeArchive(folder);
  test::writeFile(folder.file("archive/disk1/MDR_02.EVT"),
                  test::performance(test::kEndsInSystemExclusive));
  test::writeFile(folder.file("song.evt"), readFile(folder.file("extra.evt")));
  const std::pair<Arguments, Arguments> cases[] = {
      {{"-r", "archive", "missing.evt", "-j", "2"},
       {"koralux-cli: archive/disk1/MDR_02.EVT: ", "koralux-cli: missing.evt: ",
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
    test::ProcessResult run = test::cli(arguments, folder.path());
    run.err = withSlashes(run.err);
    EXPECT_EQ(run.status, 1);
    for (const std::string& message : messages) EXPECT_TRUE(contains(run.err, message)) << run.err;
  }
  EXPECT_EQ(readFile(folder.file("out/song.mid")), readFile(folder.file("archive/disk2/song.mid")));
  EXPECT_TRUE(fs::exists(folder.file("out/extra.mid")));
  EXPECT_TRUE(fs::exists(folder.file("archive/disk2/live/take.Evt.mid")));
  EXPECT_FALSE(fs::exists(folder.file("archive/disk1/MDR_02.EVT.mid")));
}

// Windows has no pseudo-terminal that a test can read, so the progress line is Linux's test.
#if !defined(_WIN32)
TEST(CliBatch, ProgressLineOnlyOnATerminal) {
  test::TemporaryFolder folder;
  makeArchive(folder);
  // On a pseudo-terminal (util-linux's `script`): standard output and error together.
  const auto onTerminal = [&](const std::string& arguments) {
    const std::string command = test::cliCommand({}).at(0) + " " + arguments;
    return test::runProcess({"script", "-qec", command, "/dev/null"}, folder.path()).out;
  };
  const std::string shown = onTerminal("-r archive");
  for (const char* part : {"\rConverting: ", "of 4 files done", "Converted 4 of 4 files"}) {
    EXPECT_TRUE(contains(shown, part)) << shown;
  }
  EXPECT_EQ(onTerminal("-r archive -q"), "");  // quiet: nothing on the terminal at all
}
#endif

// A file with findings converts with a warning naming it, counted on the batch's last line; one
// too short for the header fails; --strict refuses the file with findings and writes nothing.
TEST(Cli, FindingsWarnAndStrictRefuses) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("cut.evt"), test::performance("90 3C 64  F3 0A  FE 78  80 3C"));
  test::writeFile(folder.file("good.evt"), generatePerformance({.seconds = 5}));
  test::writeFile(folder.file("empty.evt"), {});
  const test::ProcessResult batch = test::cli({"cut.evt", "good.evt", "empty.evt"}, folder.path());
  EXPECT_EQ(batch.status, 1);
  for (const char* line :
       {"koralux-cli: warning: cut.evt: the file ends inside the event that starts at byte 263: "
        "the recording is probably cut short\n",
        "koralux-cli: empty.evt: not a performance file: it has 0 bytes, and a performance "
        "starts with a 256-byte header\n",
        "Converted 2 of 3 files (1 with warnings), 1 failed\n"}) {
    EXPECT_TRUE(contains(batch.err, line)) << batch.err;
  }
  const test::ProcessResult strict =
      test::cli({"cut.evt", "good.evt", "--strict", "--output-dir", "strict"}, folder.path());
  EXPECT_EQ(strict.status, 1);
  EXPECT_TRUE(contains(strict.err, "koralux-cli: cut.evt: not converted, because the file ends"))
      << strict.err;
  EXPECT_TRUE(std::filesystem::exists(folder.file("strict/good.mid")));
  EXPECT_FALSE(std::filesystem::exists(folder.file("strict/cut.mid")));
}

}  // namespace
}  // namespace koralux
