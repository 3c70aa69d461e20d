#pragma once
// Helpers shared by the tests: annotated hex, performances built in code, temporary folders,
// programs run as child processes.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_observer.hpp"

namespace koralux::test {

using Bytes = std::vector<std::uint8_t>;

// "4D 54 68 64  00 00 00 06" -> bytes. Spaces and line breaks are ignored, and so is anything
// from '#' to the end of a line; "'Upper'" inserts the characters between the quotes.
Bytes hex(std::string_view text);

// A performance file: 256 header bytes, then `events` (given as annotated hex).
Bytes performance(std::string_view events);

// `events` written `times` times, separated by spaces.
std::string repeat(std::string_view events, int times);

// One note on channel 1 between two clock markers, an alignment marker after the first: the
// smallest performance with a part, converted byte for byte in conversion_test.
inline constexpr const char* kOneNote = "90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78";

// A damaged performance: after a note, it ends inside a system-exclusive message that starts at
// byte 259 (the reader's message for it is checked in fault_test).
inline constexpr const char* kEndsInSystemExclusive = "90 3C 64  F0 01 02";

// kOneNote with a backing part on channel 5, set-up messages and two registration changes.
// The clock: the tempo is 138, so the interval starts at 60000 / 138 = 434 ms, and 10 ms give
// (10 x 480) / (434 x 24) = 0 ticks; the clock marker gives 20, the last one 40. The alignment
// marker after the first clock marker makes the song-start offset 20 - 1920 = -1900, so the
// events before the first clock marker land at 0 and those at tick 20 at 1920.
inline constexpr const char* kSmallXgPerformance =
    "F0 7E 7F 09 01 F7             # GM System On (universal)"
    "\n F0 43 10 4C 00 00 7E 00 F7  # XG System On"
    "\n F0 43 73 01 F7              # the organ's own: left out"
    "\n B5 07 64                    # channel 6 plays no note: no track"
    "\n B4 00 00  B4 20 00  C4 05   # bank select 0/32, program 5 on channel 5"
    "\n CF 02                       # registration 3"
    "\n 90 3C 64  94 40 70          # the upper manual and the backing strike"
    "\n F3 0A  FE 78"
    "\n E4 00 50  D4 30             # pitch bend, channel pressure"
    "\n CF 0F                       # registration 16"
    "\n 84 40 20  80 3C 40  FE 7A  FE 78";

// The analysis pass over `input` (read as "song.evt"), its conductor track thrown away.
AnalysisResults analyse(const Bytes& input);

bool contains(std::string_view text, std::string_view part);

// Bytes at the end of `bytes` as text, for readable comparisons.
std::string toHex(const Bytes& bytes);

// Compares two byte strings and on a difference reports the first differing offset with the
// bytes around it on both sides.
::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual);

// Succeeds when the strict checker (tests/checker/smf_checker.hpp) accepts `midi`; otherwise says
// what is wrong with it.
::testing::AssertionResult isStrictMidiFile(const Bytes& midi);

// Records every observer call as one line: "progressBegin 1", "status Status: Finished", ...
class RecordingObserver final : public ConversionObserver {
 public:
  void status(std::string_view text) override { calls.push_back("status " + std::string(text)); }
  void progressBegin(std::int64_t total) override {
    calls.push_back("progressBegin " + std::to_string(total));
  }
  void partDone(std::int64_t count) override {
    calls.push_back("partDone " + std::to_string(count));
  }
  std::vector<std::string> calls;
};

// A fresh folder, removed with everything in it at the end of the test.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const;

 private:
  std::filesystem::path path_;
};

// The event bytes of each track chunk of a MIDI file (conductor track first).
std::vector<Bytes> trackBodies(const Bytes& midi);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

struct ProcessResult {
  int status = -1;  // exit status; -1 when a signal ended it
  int signal = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

// A program (looked up on the search path unless the name holds a '/') run as a child process
// without a shell, reading nothing, its standard output and error caught in files. It runs in
// `folder` (empty: here) and may write files of at most `fileSizeLimit` bytes (0: no limit).
// The one place that starts processes: a port to another system implements it alone.
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> command, const std::filesystem::path& folder = {},
                        std::uint64_t fileSizeLimit = 0);
  ~ChildProcess();  // kills the child if it was not waited for
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  ProcessResult wait();

 private:
  static std::string text(const std::string& path);

  TemporaryFolder capture_;
  pid_t pid_ = -1;
#if defined(_WIN32)
  void* process_ = nullptr;  // the process's HANDLE
#endif
};

// Runs `command` as a ChildProcess and waits for it.
ProcessResult runProcess(std::vector<std::string> command, const std::filesystem::path& folder = {},
                         std::uint64_t fileSizeLimit = 0);

// The command that runs koralux-cli with `arguments`; cli() runs it.
std::vector<std::string> cliCommand(std::vector<std::string> arguments);
ProcessResult cli(std::vector<std::string> arguments, const std::filesystem::path& folder = {},
                  std::uint64_t fileSizeLimit = 0);

}  // namespace koralux::test

// Expects `statement` to throw FatalStop whose message (label and description, as what() gives
// them) holds `message`.
#define EXPECT_FATAL_STOP(statement, message)                                                \
  do {                                                                                       \
    try {                                                                                    \
      statement;                                                                             \
      ADD_FAILURE() << "no FatalStop from " #statement;                                      \
    } catch (const ::koralux::FatalStop& fatalStop) {                                        \
      EXPECT_TRUE(::koralux::test::contains(fatalStop.what(), message)) << fatalStop.what(); \
    }                                                                                        \
  } while (false)
