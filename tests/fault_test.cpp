// Faults met by koralux-cli, run as a user runs it: inputs that are missing, damaged or that even
// root cannot read, impossible outputs, outputs that name the input, a full device, a file-size
// limit that stops the write half way, a SIGKILL in the middle of a large conversion. Each
// asserts the message the user reads and that nothing is lost: the input and an existing output
// stay byte for byte as they were, and nothing new (no temporary file either) is left behind.

#if defined(_WIN32)
#include <windows.h>

#include "common/windows_text.hpp"
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TemporaryFolder;

// Every entry below `folder`, with the size and a hash of its bytes (a link: where it points),
// to show that nothing changed.
std::vector<std::string> snapshot(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string line = entry.path().lexically_relative(folder).string();
    if (entry.is_symlink()) {
      line += " -> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      const Bytes bytes = test::readFile(entry.path().string());
      const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      line += ": " + std::to_string(bytes.size()) + " bytes, hash " +
              std::to_string(std::hash<std::string_view>{}(view));
    }
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

const Bytes kOlderOutput = test::hex("'MThd' 'an older conversion the user wants to keep'");

#if defined(_WIN32)

// Windows has no /dev/full, no file-size limit, no /proc/self/mem, no O_TMPFILE and no SIGKILL
// (TerminateProcess leaves a named temporary file behind, as on Linux without O_TMPFILE): those
// faults are Linux's only. Windows' own are here: a read-only output, an output another program
// holds open, the input under another case of its letters. The messages are the system's own
// words, which Wine words differently from Windows, so they are asked of FormatMessageW.
TEST(Faults, EachSaysWhatWentWrongAndLosesNothing) {
  struct Fault {
    std::vector<std::string> arguments;
    std::string message;  // what koralux-cli says after "koralux-cli: "
  };
  const auto system = [](const std::string& label, DWORD code) {
    return label + ": " + windows::errorText(code);
  };
  std::vector<Fault> faults = {
      {{"gone.evt"}, system("gone.evt", ERROR_FILE_NOT_FOUND)},
      {{"folder.evt", "-o", "song.mid"}, system("folder.evt", ERROR_ACCESS_DENIED)},
      {{"song.evt", "-o", "gone\\song.mid"}, system("gone\\song.mid", ERROR_PATH_NOT_FOUND)},
      {{"song.evt", "-o", "sub"}, system("sub", ERROR_ACCESS_DENIED)},
      {{"song.evt", "-o", "readonly.mid"}, system("readonly.mid", ERROR_ACCESS_DENIED)},
  };
  for (const char* input :
       {"song.evt", ".\\song.evt", "sub\\..\\song.evt", "SONG.EVT", "hard.mid"}) {
    faults.push_back(
        {{"song.evt", "-o", input},
         std::string(input) +
             ": the output file is the input file; choose another name for the output"});
  }
  for (Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
    test::writeFile(folder.file("song.mid"), kOlderOutput);
    test::writeFile(folder.file("readonly.mid"), kOlderOutput);
    fs::permissions(folder.path() / "readonly.mid", fs::perms::owner_write,
                    fs::perm_options::remove);
    fs::create_directory(folder.path() / "folder.evt");
    fs::create_directory(folder.path() / "sub");
    fs::create_hard_link(folder.path() / "song.evt", folder.path() / "hard.mid");
    fault.arguments.insert(fault.arguments.begin(), KORALUX_CLI);
    fault.arguments.push_back("-q");
    const auto before = snapshot(folder.path());

    const test::ProcessResult run = test::runProcess(fault.arguments, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "koralux-cli: " + fault.message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(snapshot(folder.path()), before) << "a file was changed, added or removed";
  }
}

// Another program has the output open without sharing it: the output stays as it was, and no
// temporary file is left beside it.
TEST(Faults, AnOutputThatAnotherProgramHoldsIsLeftAsItWas) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  test::writeFile(folder.file("song.mid"), kOlderOutput);
  const auto before = snapshot(folder.path());
  const HANDLE held = CreateFileW(windows::systemPath(folder.file("song.mid")).c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const test::ProcessResult run = test::runProcess({KORALUX_CLI, "song.evt", "-q"}, folder.path());
  CloseHandle(held);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("koralux-cli: song.mid: ")) << run.err;
  EXPECT_EQ(snapshot(folder.path()), before);
}

// Paths longer than the old limit of 260 characters, in and out.
TEST(Faults, PathsOfThreeHundredCharactersWork) {
  TemporaryFolder folder;
  std::string deep = folder.file("");
  while (deep.size() < 300) {
    deep += std::string(40, 'd') + "\\";
    ASSERT_TRUE(CreateDirectoryW(windows::systemPath(deep).c_str(), nullptr)) << deep;
  }
  const std::string input = deep + "song.evt";
  koralux::writeFileAtomically(input, test::performance(test::kOneNote));
  const test::ProcessResult run = test::runProcess({KORALUX_CLI, input, "-q"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(test::isStrictMidiFile(koralux::readWholeFile(deep + "song.mid")));
  // TemporaryFolder's removal goes through the same long names.
  for (std::string at = deep; at.size() > folder.file("").size();
       at.resize(at.rfind('\\', at.size() - 2) + 1)) {
    DeleteFileW(windows::systemPath(at + "song.evt").c_str());
    DeleteFileW(windows::systemPath(at + "song.mid").c_str());
    RemoveDirectoryW(windows::systemPath(at).c_str());
  }
}

#else

// /dev/full, the file-size limit, /proc/self/mem and SIGKILL are Linux's; Windows has its own
// faults above.
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
  for (const char* input : {"song.evt", "./song.evt", "sub/../song.evt", "link.mid", "hard.mid"}) {
    faults.push_back(
        {{"song.evt", "-o", input},
         std::string(input) +
             ": the output file is the input file; choose another name for the output"});
  }
  GeneratorOptions sixtySeconds;
  sixtySeconds.seconds = 60;
  const Bytes longSong = generatePerformance(sixtySeconds);

  for (Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
    test::writeFile(folder.file("song.mid"), kOlderOutput);
    test::writeFile(folder.file("cut.evt"), test::performance("90 3C 64 F0 01 02"));
    test::writeFile(folder.file("long.evt"), longSong);
    fs::create_directory(folder.path() / "folder.evt");
    fs::create_directory(folder.path() / "sub");
    fs::create_symlink("song.evt", folder.path() / "link.mid");
    fs::create_hard_link(folder.path() / "song.evt", folder.path() / "hard.mid");
    fault.arguments.insert(fault.arguments.begin(), KORALUX_CLI);
    fault.arguments.push_back("-q");
    const auto before = snapshot(folder.path());

    const test::ProcessResult run =
        test::runProcess(fault.arguments, folder.path(), {}, fault.fileSizeLimit);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "koralux-cli: " + fault.message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(snapshot(folder.path()), before) << "a file was changed, added or removed";

    // The same without an older output: nothing appears.
    fs::remove(folder.path() / "song.mid");
    const auto without = snapshot(folder.path());
    EXPECT_EQ(test::runProcess(fault.arguments, folder.path(), {}, fault.fileSizeLimit).status, 1);
    EXPECT_EQ(snapshot(folder.path()), without);
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// True when the process `pid` has a file in `folder` open.
bool writesInto(pid_t pid, const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && fd != end; fd.increment(error)) {
    if (fs::read_symlink(fd->path(), error).string().starts_with(folder.string() + "/"))
      return true;
  }
  return false;
}

// Whether files in `folder` can be made without a name (Linux's O_TMPFILE; not on FAT, nor on
// older overlay file systems). Where they cannot, the converter writes a named temporary file,
// which a process killed while writing has no chance to remove.
bool offersNamelessFiles(const fs::path& folder) {
  const int descriptor = ::open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (descriptor >= 0) ::close(descriptor);
  return descriptor >= 0;
}

TEST(Faults, KilledInTheMiddleLeavesTheOldOutputOrTheNewOneWholeAndNothingElse) {
  TemporaryFolder inputs;
  TemporaryFolder outputs;
  GeneratorOptions options;
  options.targetBytes = 20u << 20;
  options.seed = 11;
  test::writeFile(inputs.file("large.evt"), generatePerformance(options));
  const std::string output = outputs.file("large.mid");
  const auto cli = [&](const std::string& to) {
    return std::vector<std::string>{KORALUX_CLI, inputs.file("large.evt"), "-q", "-o", to};
  };

  // The whole conversion, undisturbed, for comparison; and how long it takes.
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(test::runProcess(cli(inputs.file("whole.mid"))).status, 0);
  const auto whole = std::chrono::steady_clock::now() - begin;
  const Bytes complete = test::readFile(inputs.file("whole.mid"));
  ASSERT_GT(complete.size(), 1u << 20);

  // Kills at moments spread over the run, then at the moment the output is being written; once
  // more without an older output.
  int killedWhileWriting = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    const bool older = attempt != 5;
    if (older) {
      test::writeFile(output, kOlderOutput);
    } else {
      fs::remove(output);
    }
    test::ChildProcess child(cli(output));
    bool writing = false;
    if (attempt < 3) {
      std::this_thread::sleep_for(whole * (attempt + 1) / 4);
    } else {
      // Until the child holds a file in the output folder (or has ended).
      while (!(writing = writesInto(child.pid(), outputs.path())) &&
             fs::exists("/proc/" + std::to_string(child.pid()) + "/fd/0")) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    ::kill(child.pid(), SIGKILL);
    if (child.wait().signal == SIGKILL && writing) ++killedWhileWriting;

    std::vector<std::string> left = outputs.entries();
    if (!offersNamelessFiles(outputs.path())) {
      std::erase_if(left, [](const std::string& name) { return name.starts_with(".large.mid."); });
    }
    if (fs::exists(output)) {
      EXPECT_EQ(left, std::vector<std::string>{"large.mid"});
      const Bytes found = test::readFile(output);
      // Only a kill that came after the new file was in place may leave it.
      EXPECT_TRUE(found == kOlderOutput || found == complete)
          << "a partial output of " << found.size() << " bytes";
      EXPECT_TRUE(older || found == complete);
    } else {
      EXPECT_FALSE(older) << "the older output was lost";
      EXPECT_TRUE(left.empty());
    }
  }
  // The riskiest moment was met at least once.
  EXPECT_GT(killedWhileWriting, 0);
}

#endif

}  // namespace
}  // namespace koralux
