#include "engine/output_name.hpp"

#include <algorithm>

namespace koralux {

bool isPerformanceFileName(std::string_view path) {
  constexpr std::string_view kExtension = ".evt";
  if (path.size() < kExtension.size()) return false;
  const std::string_view tail = path.substr(path.size() - kExtension.size());
  return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char c, char lower) {
    return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
  });
}

std::string derivedOutputName(const std::string& inputPath) {
  std::string name = inputPath;
  if (name.ends_with(".evt")) name.resize(name.size() - 4);
  return name + ".mid";
}

}  // namespace koralux
