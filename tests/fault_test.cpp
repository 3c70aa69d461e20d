// Failed conversions of koralux-cli, run as a user runs it: inputs that are missing, damaged or
// that even root cannot read, impossible outputs, outputs that name the input, a full device, a
// file-size limit that stops the write half way, a SIGKILL in the middle of a large conversion.
// Each checks the message the user reads (the one place these messages are checked through the
// program) and that nothing is lost: the input and an older output stay byte for byte as they
// were, and nothing new (no temporary file either) is left behind.

#if defined(_WIN32)
#include <windows.h>

#include "common/file_io.hpp"
#include "common/windows_text.hpp"
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;

// Every entry below `folder` with its bytes (a link: where it points), to show nothing changed.
std::map<std::string, test::Bytes> snapshot(const fs::path& folder) {
  std::map<std::string, test::Bytes> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string link = entry.is_symlink() ? fs::read_symlink(entry).string() : "";
    entries[entry.path().lexically_relative(folder).string()] =
        entry.is_regular_file() && link.empty() ? test::readFile(entry.path().string())
                                                : test::hex("'" + link + "'");
  }
  return entries;
}

const test::Bytes kOlderOutput = test::hex("'MThd' 'an older conversion the user wants to keep'");

#if defined(_WIN32)

// Windows has no /dev/full, no file-size limit, no /proc/self/mem, no O_TMPFILE and no SIGKILL
// (TerminateProcess leaves a named temporary file behind, as Linux does without O_TMPFILE), and
// symbolic links need a privilege there: those faults are Linux's only. Windows' own are here: a
// read-only output, an output another program holds open, the input under another case of its
// letters, a path of 300 characters. The messages are the system's own words, which Wine words
// otherwise than Windows, so they are asked of FormatMessageW.
TEST(Faults, EachSaysWhatWentWrongAndLosesNothing) {
  const auto system = [](const std::string& label, DWORD code) {
    return label + ": " + windows::errorText(code);
  };
  std::vector<std::pair<std::vector<std::string>, std::string>> faults = {
      {{"gone.evt"}, system("gone.evt", ERROR_FILE_NOT_FOUND)},
      {{"folder.evt", "-o", "song.mid"}, system("folder.evt", ERROR_ACCESS_DENIED)},
      {{"song.evt", "-o", "gone\\song.mid"}, system("gone\\song.mid", ERROR_PATH_NOT_FOUND)},
      {{"song.evt", "-o", "sub"}, system("sub", ERROR_ACCESS_DENIED)},
      {{"song.evt", "-o", "readonly.mid"}, system("readonly.mid", ERROR_ACCESS_DENIED)},
  };
  for (const char* output :
       {"song.evt", ".\\song.evt", "sub\\..\\song.evt", "SONG.EVT", "hard.mid"}) {
    faults.push_back({{"song.evt", "-o", output},
                      std::string(output) + ": the output file is the input file; choose "
                                            "another name for the output"});
  }
  for (auto& [arguments, message] : faults) {
    SCOPED_TRACE(message);
    test::TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
    test::writeFile(folder.file("song.mid"), kOlderOutput);
    test::writeFile(folder.file("readonly.mid"), kOlderOutput);
    fs::permissions(folder.path() / "readonly.mid", fs::perms::owner_write,
                    fs::perm_options::remove);
    fs::create_directory(folder.path() / "folder.evt");
    fs::create_directory(folder.path() / "sub");
    fs::create_hard_link(folder.path() / "song.evt", folder.path() / "hard.mid");
    arguments.push_back("-q");
    const auto before = snapshot(folder.path());
    const auto run = test::cli(arguments, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "koralux-cli: " + message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(snapshot(folder.path()), before) << "a file was changed, added or removed";
  }
}

// Another program has the output open without sharing it: the output stays as it was, and no
// temporary file is left beside it.
TEST(Faults, AnOutputThatAnotherProgramHoldsIsLeftAsItWas) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  test::writeFile(folder.file("song.mid"), kOlderOutput);
  const auto before = snapshot(folder.path());
  const HANDLE held = CreateFileW(windows::systemPath(folder.file("song.mid")).c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto run = test::cli({"song.evt", "-q"}, folder.path());
  CloseHandle(held);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("koralux-cli: song.mid: ")) << run.err;
  EXPECT_EQ(snapshot(folder.path()), before);
}

// Paths longer than the old limit of 260 characters, in and out.
TEST(Faults, PathsOfThreeHundredCharactersWork) {
  test::TemporaryFolder folder;
  const std::string top = folder.file("");
  std::string deep = top;
  while (deep.size() < 300) {
    deep += std::string(40, 'd') + "\\";
    ASSERT_TRUE(CreateDirectoryW(windows::systemPath(deep).c_str(), nullptr)) << deep;
  }
  writeFileAtomically(deep + "song.evt", test::performance(test::kOneNote));
  const auto run = test::cli({deep + "song.evt", "-q"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(test::isStrictMidiFile(readWholeFile(deep + "song.mid")));
  // TemporaryFolder's removal would not reach so deep.
  for (std::string at = deep; at.size() > top.size();
       at.resize(at.rfind('\\', at.size() - 2) + 1)) {
    DeleteFileW(windows::systemPath(at + "song.evt").c_str());
    DeleteFileW(windows::systemPath(at + "song.mid").c_str());
    RemoveDirectoryW(windows::systemPath(at).c_str());
  }
}

#else

TEST(Faults, EachSaysWhatWentWrongAndLosesNothing) {
  struct Fault {
    std::vector<std::string> arguments;
    std::string message;  // what koralux-cli says after "koralux-cli: "
    std::uint64_t fileSizeLimit = 0;
  };
  std::vector<Fault> faults = {
      {{"gone.evt"}, "gone.evt: No such file or directory"},
      {{"folder.evt", "-o", "song.mid"}, "folder.evt: Is a directory"},
      // Its first page is never mapped: reading it fails whoever reads.
      {{"/proc/self/mem", "-o", "song.mid"}, "/proc/self/mem: Input/output error"},
      {{"cut.evt", "-o", "song.mid"},
       "cut.evt: the file ends inside a system-exclusive message (it starts at byte 259 and has no "
       "end byte F7)"},
      {{"song.evt", "-o", "gone/song.mid"}, "gone/song.mid: No such file or directory"},
      {{"song.evt", "-o", "sub"}, "sub: Is a directory"},
      {{"song.evt", "-o", "/dev/full"}, "/dev/full: No space left on device"},
      {{"long.evt", "-o", "song.mid"}, "song.mid: File too large", 4096},
  };
  for (const char* output : {"song.evt", "./song.evt", "sub/../song.evt", "link.mid", "hard.mid"}) {
    faults.push_back({{"song.evt", "-o", output},
                      std::string(output) + ": the output file is the input file; choose "
                                            "another name for the output"});
  }
  const test::Bytes longSong = generatePerformance({.seconds = 60});
  for (Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    test::TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
    test::writeFile(folder.file("song.mid"), kOlderOutput);
    test::writeFile(folder.file("cut.evt"), test::performance(test::kEndsInSystemExclusive));
    test::writeFile(folder.file("long.evt"), longSong);
    fs::create_directory(folder.path() / "folder.evt");
    fs::create_directory(folder.path() / "sub");
    fs::create_symlink("song.evt", folder.path() / "link.mid");
    fs::create_hard_link(folder.path() / "song.evt", folder.path() / "hard.mid");
    fault.arguments.push_back("-q");
    for (const bool older : {true, false}) {  // then without an older output: nothing appears
      if (!older) fs::remove(folder.path() / "song.mid");
      const auto before = snapshot(folder.path());
      const auto run = test::cli(fault.arguments, folder.path(), fault.fileSizeLimit);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.err, "koralux-cli: " + fault.message + "\n");
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(snapshot(folder.path()), before) << "a file was changed, added or removed";
    }
  }
}

TEST(Faults, KilledInTheMiddleLeavesTheOldOutputOrTheNewOneWholeAndNothingElse) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("large.evt"),
                  generatePerformance({.seed = 11, .targetBytes = 20u << 20}));
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(test::cli({"large.evt", "-q", "-o", "whole.mid"}, folder.path()).status, 0);
  const auto whole = std::chrono::steady_clock::now() - begin;
  const test::Bytes complete = test::readFile(folder.file("whole.mid"));
  const fs::path out = folder.path() / "out";
  fs::create_directory(out);
  // Where files cannot be made without a name (Linux's O_TMPFILE; not on FAT, nor on older
  // overlay file systems), a named temporary file is written, which SIGKILL leaves behind.
  const int nameless = ::open(out.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (nameless >= 0) ::close(nameless);
  // Killed at moments spread over the run, then once it holds a file in `out` (the riskiest
  // moment, which must be met at least once); the last time without an older output.
  int killedWhileWriting = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    const bool older = attempt != 5;
    if (older) test::writeFile((out / "large.mid").string(), kOlderOutput);
    if (!older) fs::remove(out / "large.mid");
    test::ChildProcess child(test::cliCommand({"large.evt", "-q", "-o", "out/large.mid"}),
                             folder.path());
    const fs::path files = "/proc/" + std::to_string(child.pid()) + "/fd";
    bool writing = false;
    if (attempt < 3) std::this_thread::sleep_for(whole * (attempt + 1) / 4);
    while (attempt >= 3 && !writing && fs::exists(files / "0")) {
      std::error_code gone;
      for (fs::directory_iterator file(files, gone), end; !gone && file != end;
           file.increment(gone)) {
        writing = writing || fs::read_symlink(*file, gone).parent_path() == out;
      }
    }
    ::kill(child.pid(), SIGKILL);
    if (child.wait().signal == SIGKILL && writing) ++killedWhileWriting;

    std::map<std::string, test::Bytes> left = snapshot(out);
    std::erase_if(left, [&](const auto& entry) { return nameless < 0 && entry.first[0] == '.'; });
    const test::Bytes found = left["large.mid"];
    // Only a kill that came after the new file was in place may leave it.
    EXPECT_TRUE(found == complete || (older ? found == kOlderOutput : found.empty()))
        << found.size();
    EXPECT_EQ(left.size(), 1u);
  }
  EXPECT_GT(killedWhileWriting, 0);
}

#endif

}  // namespace
}  // namespace koralux
