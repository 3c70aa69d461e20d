// Real faults met by koralux-cli, run as a child process as a user runs it: inputs that even root
// cannot read, impossible output paths, a file-size limit that stops the write half way, a
// SIGKILL in the middle of a large conversion. Each asserts the message the user reads and that
// nothing is lost: the input and an existing output stay byte for byte as they were, and no
// temporary file is left behind. (Missing inputs, damaged performances, devices such as
// /dev/full and outputs that name the input are covered by cli_test and conversion_test.)

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::performance;
using test::TemporaryFolder;

struct Outcome {
  int exitStatus = -1;  // -1 when ended by a signal
  int signal = 0;
  std::string errors;  // standard error
};

struct ChildOptions {
  std::optional<rlim_t> fileSizeLimit;  // bytes any file the child writes may hold
};

// Starts koralux-cli in `folder`; its standard error goes to the returned pipe.
std::pair<pid_t, int> start(const fs::path& folder, std::vector<std::string> arguments,
                            const ChildOptions& options = {}) {
  arguments.insert(arguments.begin(), KORALUX_CLI);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int errors[2];
  if (::pipe(errors) != 0) return {-1, -1};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(errors[1], 2);
    ::close(errors[0]);
    ::close(errors[1]);
    const int nothing = ::open("/dev/null", O_RDWR);
    ::dup2(nothing, 0);
    ::dup2(nothing, 1);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    if (options.fileSizeLimit) {
      const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      // Ignored, the signal becomes the error "File too large" from the write that hits the limit.
      ::signal(SIGXFSZ, SIG_IGN);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(errors[1]);
  return {pid, errors[0]};
}

Outcome finish(pid_t pid, int errors) {
  Outcome outcome;
  char buffer[4096];
  for (ssize_t got; (got = ::read(errors, buffer, sizeof buffer)) > 0;) {
    outcome.errors.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(errors);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) outcome.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

Outcome cli(const fs::path& folder, const std::vector<std::string>& arguments,
            const ChildOptions& options = {}) {
  const auto [pid, errors] = start(folder, arguments, options);
  return finish(pid, errors);
}

// Every entry below `folder`, with the size and a hash of its bytes (a link: where it points),
// to show that nothing changed.
std::vector<std::string> snapshot(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string line = fs::relative(entry.path(), folder).string();
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

const Bytes kSong = performance("90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78");
const Bytes kOlderOutput = test::hex("'MThd' 'an older conversion the user wants to keep'");

struct Fault {
  std::string name;
  // Prepares the folder (which holds song.evt and song.mid) and gives the arguments.
  std::function<std::vector<std::string>(const TemporaryFolder&)> prepare;
  std::string message;  // what koralux-cli says after "koralux-cli: "
  ChildOptions options;
};

Fault fault(std::string name,
            std::function<std::vector<std::string>(const TemporaryFolder&)> prepare,
            std::string message, ChildOptions options = {}) {
  return Fault{std::move(name), std::move(prepare), std::move(message), options};
}

std::vector<Fault> faults() {
  // Markers without timing halve the interval to 0 (counted as 1); after them each longest
  // timing event adds 327660 ticks, and 830 of them pass what a MIDI delta time can hold.
  std::string longPause;
  for (int i = 0; i < 12; ++i) longPause += "FE 78 ";
  for (int i = 0; i < 830; ++i) longPause += "F4 7F 7F ";
  longPause += "90 3C 64 80 3C 40";

  return {
      fault(
          "input_is_a_folder",
          [](const TemporaryFolder& folder) {
            fs::create_directory(folder.path() / "folder.evt");
            return std::vector<std::string>{"folder.evt", "-o", "song.mid"};
          },
          "folder.evt: Is a directory"),
      fault(
          "input_that_even_root_cannot_read",
          [](const TemporaryFolder&) {
            // Its first page is never mapped: reading it fails whoever reads.
            return std::vector<std::string>{"/proc/self/mem", "-o", "song.mid"};
          },
          "/proc/self/mem: Input/output error"),
      fault(
          "input_removed_after_it_was_chosen",
          [](const TemporaryFolder& folder) {
            test::writeFile(folder.file("chosen.evt"), kSong);
            fs::create_symlink("chosen.evt", folder.path() / "link.evt");
            fs::remove(folder.path() / "chosen.evt");
            return std::vector<std::string>{"link.evt", "-o", "song.mid"};
          },
          "link.evt: No such file or directory"),
      fault(
          "input_below_a_file",
          [](const TemporaryFolder&) {
            return std::vector<std::string>{"song.evt/inner.evt", "-o", "song.mid"};
          },
          "song.evt/inner.evt: Not a directory"),
      fault(
          "input_name_too_long",
          [](const TemporaryFolder&) {
            return std::vector<std::string>{std::string(300, 'x') + ".evt", "-o", "song.mid"};
          },
          std::string(300, 'x') + ".evt: File name too long"),
      fault(
          "pause_beyond_a_midi_file",
          [longPause](const TemporaryFolder& folder) {
            test::writeFile(folder.file("pause.evt"), performance(longPause));
            return std::vector<std::string>{"pause.evt", "-o", "song.mid"};
          },
          "pause.evt: the performance has a pause of "),
      fault(
          "output_folder_missing",
          [](const TemporaryFolder&) {
            return std::vector<std::string>{"song.evt", "-o", "gone/song.mid"};
          },
          "gone/song.mid: No such file or directory"),
      fault(
          "output_below_a_file",
          [](const TemporaryFolder&) {
            return std::vector<std::string>{"song.evt", "-o", "song.mid/inner.mid"};
          },
          "song.mid/inner.mid: Not a directory"),
      fault(
          "output_stopped_by_the_file_size_limit",
          [](const TemporaryFolder& folder) {
            GeneratorOptions options;
            options.seconds = 60;
            test::writeFile(folder.file("long.evt"), generatePerformance(options));
            return std::vector<std::string>{"long.evt", "-o", "song.mid"};
          },
          "song.mid: File too large", ChildOptions{4096}),
  };
}

TEST(Faults, EachSaysWhatWentWrongAndLosesNothing) {
  for (const Fault& fault : faults()) {
    SCOPED_TRACE(fault.name);
    TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), kSong);
    test::writeFile(folder.file("song.mid"), kOlderOutput);
    std::vector<std::string> arguments = fault.prepare(folder);
    arguments.push_back("-q");
    const auto before = snapshot(folder.path());

    const Outcome outcome = cli(folder.path(), arguments, fault.options);
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.errors.rfind("koralux-cli: " + fault.message, 0), 0u) << outcome.errors;
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << "one line";
    EXPECT_EQ(snapshot(folder.path()), before) << "a file was changed, added or removed";

    // The same without an older output: nothing appears.
    fs::remove(folder.path() / "song.mid");
    const auto without = snapshot(folder.path());
    EXPECT_EQ(cli(folder.path(), arguments, fault.options).exitStatus, 1);
    EXPECT_EQ(snapshot(folder.path()), without);
  }
}

// True when the process `pid` has a file in `folder` open.
bool writesInto(pid_t pid, const fs::path& folder) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* listing = ::opendir(fds.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  const std::string prefix = folder.string() + "/";
  while (const dirent* entry = ::readdir(listing)) {
    char target[4096];
    const std::string link = fds + "/" + entry->d_name;
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0 &&
        std::string_view(target, static_cast<std::size_t>(length)).starts_with(prefix)) {
      found = true;
    }
  }
  ::closedir(listing);
  return found;
}

// Whether files in `folder` can be made without a name (Linux's O_TMPFILE; not on FAT, nor on
// older overlay file systems). Where they cannot, the converter writes a named temporary file,
// which a process killed while writing has no chance to remove.
bool offersNamelessFiles(const fs::path& folder) {
  const int descriptor = ::open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (descriptor < 0) return false;
  ::close(descriptor);
  return true;
}

TEST(Faults, KilledInTheMiddleLeavesTheOldOutputOrTheNewOneWholeAndNothingElse) {
  TemporaryFolder inputs;
  TemporaryFolder outputs;
  GeneratorOptions options;
  options.targetBytes = 20u << 20;
  options.seed = 11;
  test::writeFile(inputs.file("large.evt"), generatePerformance(options));
  const std::string output = outputs.file("large.mid");

  // The whole conversion, undisturbed, for comparison; and how long it takes.
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(cli(inputs.path(), {"large.evt", "-q", "-o", inputs.file("whole.mid")}).exitStatus, 0);
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
    const auto [pid, errors] = start(inputs.path(), {"large.evt", "-q", "-o", output});
    bool writing = false;
    if (attempt < 3) {
      std::this_thread::sleep_for(whole * (attempt + 1) / 4);
    } else {
      // Until the child holds a file in the output folder (or has ended).
      while (!(writing = writesInto(pid, outputs.path())) &&
             fs::exists("/proc/" + std::to_string(pid) + "/fd/0")) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    ::kill(pid, SIGKILL);
    const Outcome outcome = finish(pid, errors);
    if (writing && outcome.signal == SIGKILL) ++killedWhileWriting;

    std::vector<std::string> left = outputs.entries();
    if (!offersNamelessFiles(outputs.path())) {
      std::erase_if(
          left, [](const std::string& name) { return name.starts_with(".large.mid.koralux-"); });
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

}  // namespace
}  // namespace koralux
