// Runs a fuzz target's entry point without libFuzzer over the files named on the command line
// (a folder stands for the files in it). A property that does not hold aborts, as under the
// fuzzer; so does an exception the target lets through.
//   fuzz_TARGET_replay FILE_OR_FOLDER...

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const fs::path& argument) {
  if (!fs::is_directory(argument)) return {argument};
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(argument)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " FILE_OR_FOLDER...\n";
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& input : inputsOf(argv[i])) {
      std::ifstream in(input, std::ios::binary);
      if (!in) {
        std::cerr << input.string() << ": cannot be read\n";
        return 2;
      }
      const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
      std::cout << input.string() << " (" << bytes.size() << " bytes)" << std::endl;
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
  }
  return 0;
}
