#include "tests/test_support.hpp"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <random>

#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/checker/smf_checker.hpp"

namespace koralux::test {

Bytes hex(std::string_view text) {
  Bytes bytes;
  std::string pair;  // digits not yet made into a byte
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '#') {
      i = std::min(text.find('\n', i), text.size());
    } else if (text[i] == '\'') {
      const std::size_t end = std::min(text.find('\'', i + 1), text.size());
      const std::string_view quoted = text.substr(i + 1, end - i - 1);
      bytes.insert(bytes.end(), quoted.begin(), quoted.end());
      i = end;
    } else if (std::isxdigit(static_cast<unsigned char>(text[i])) &&
               (pair += text[i]).size() == 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
      pair.clear();
    }
  }
  EXPECT_TRUE(pair.empty()) << "odd number of hex digits in: " << text;
  return bytes;
}

Bytes performance(std::string_view events) {
  Bytes bytes(256, 0);
  const Bytes body = hex(events);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

std::string repeat(std::string_view events, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) (all += events) += ' ';
  return all;
}

AnalysisResults analyse(const Bytes& input) {
  PerformanceReader reader(input, "song.evt");
  SmfWriter conductor;
  conductor.create();
  return runAnalysisPass(reader, conductor, {}, {});
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::string toHex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const auto offset =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
      expected.begin();
  const auto from = std::max<std::ptrdiff_t>(offset - 8, 0);
  const auto window = [&](const Bytes& b) {
    const auto to = std::min<std::ptrdiff_t>(std::ssize(b), offset + 8);
    return from < to ? toHex(Bytes(b.begin() + from, b.begin() + to)) : std::string();
  };
  return ::testing::AssertionFailure()
         << "first difference at offset " << offset << " (sizes " << expected.size() << " and "
         << actual.size() << ")\n  expected from " << from << ": " << window(expected)
         << "\n  actual   from " << from << ": " << window(actual);
}

::testing::AssertionResult isStrictMidiFile(const Bytes& midi) {
  const std::string defect = smfDefect(midi);
  if (defect.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not a sound MIDI file: " << defect;
}

TemporaryFolder::TemporaryFolder() {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() /
          ("koralux-test-" + std::to_string(entropy()) + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TemporaryFolder::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Bytes> trackBodies(const Bytes& midi) {
  std::vector<Bytes> tracks;
  std::size_t at = 14;
  while (at + 8 <= midi.size()) {
    const std::size_t length = (std::size_t{midi[at + 4]} << 24) |
                               (std::size_t{midi[at + 5]} << 16) |
                               (std::size_t{midi[at + 6]} << 8) | midi[at + 7];
    at += 8;
    if (at + length > midi.size()) {
      ADD_FAILURE() << "track length " << length << " runs past the end of the file";
      break;
    }
    tracks.emplace_back(midi.begin() + static_cast<std::ptrdiff_t>(at),
                        midi.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return tracks;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ChildProcess::text(const std::string& path) {
  const Bytes bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// The child processes on Windows are tests/test_support_windows.cpp's.
#if !defined(_WIN32)
ChildProcess::ChildProcess(std::vector<std::string> command, const std::filesystem::path& folder,
                           std::uint64_t fileSizeLimit) {
  // Everything the child needs is made before the fork: after it, only system calls.
  std::vector<char*> argv;
  for (std::string& argument : command) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string output = capture_.file("out");
  const std::string errors = capture_.file("err");
  const std::string failure = "cannot start " + command.at(0) + "\n";
  pid_ = ::fork();
  if (pid_ != 0) return;
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
      ::dup2(err, 2) < 0) {
    ::_exit(126);
  }
  if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
  if (fileSizeLimit != 0) {
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    // Ignored, the signal becomes the error "File too large" of the write that meets the limit.
    ::signal(SIGXFSZ, SIG_IGN);
  }
  ::execvp(argv[0], argv.data());
  (void)!::write(2, failure.data(), failure.size());
  ::_exit(127);
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

ProcessResult ChildProcess::wait() {
  int status = 0;
  if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return {-1, 0, "", "no child to wait for"};
  pid_ = -1;
  ProcessResult result;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = text(capture_.file("out"));
  result.err = text(capture_.file("err"));
  return result;
}

#endif

ProcessResult runProcess(std::vector<std::string> command, const std::filesystem::path& folder,
                         std::uint64_t fileSizeLimit) {
  return ChildProcess(std::move(command), folder, fileSizeLimit).wait();
}

std::vector<std::string> cliCommand(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), KORALUX_CLI);
  return arguments;
}

ProcessResult cli(std::vector<std::string> arguments, const std::filesystem::path& folder,
                  std::uint64_t fileSizeLimit) {
  return runProcess(cliCommand(std::move(arguments)), folder, fileSizeLimit);
}

}  // namespace koralux::test
