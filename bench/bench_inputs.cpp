#include "bench/bench_inputs.hpp"

#include <unistd.h>

#include <array>
#include <filesystem>
#include <system_error>

#include "tools/performance_generator.hpp"

namespace koralux::bench {

namespace {

std::vector<std::uint8_t> generate(std::size_t targetBytes, bool xg = false) {
  GeneratorOptions options;
  options.seed = 7;
  options.targetBytes = targetBytes;
  if (xg) {
    options.xg = true;
    options.channels = kXgChannels;
  }
  return generatePerformance(options);
}

std::size_t bytesOf(InputSize size) {
  switch (size) {
    case InputSize::Typical:
      return 100'000;
    case InputSize::Long:
      return std::size_t{2} << 20;
    case InputSize::Giant:
      break;
  }
  return std::size_t{64} << 20;
}

class ScratchFolder {
 public:
  ScratchFolder()
      : path_((std::filesystem::temp_directory_path() /
               ("koralux-bench-" + std::to_string(::getpid())))
                  .string()) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

const std::vector<std::uint8_t>& performanceOf(InputSize size) {
  switch (size) {
    case InputSize::Typical: {
      static const auto typical = generate(100'000);
      return typical;
    }
    case InputSize::Long: {
      static const auto long_ = generate(std::size_t{2} << 20);
      return long_;
    }
    case InputSize::Giant:
      break;
  }
  static const auto giant = generate(std::size_t{64} << 20);
  return giant;
}

const std::vector<std::uint8_t>& xgPerformanceOf(InputSize size) {
  static std::array<std::vector<std::uint8_t>, 3> made;
  auto& performance = made.at(static_cast<std::size_t>(size));
  if (performance.empty()) performance = generate(bytesOf(size), true);
  return performance;
}

const std::string& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path();
}

void countInputBytes(benchmark::State& state, const std::vector<std::uint8_t>& input) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}

}  // namespace koralux::bench
