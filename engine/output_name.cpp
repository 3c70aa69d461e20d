#include "engine/output_name.hpp"

namespace koralux {

std::string derivedOutputName(const std::string& inputPath) {
  std::string name = inputPath;
  if (name.ends_with(".evt")) name.resize(name.size() - 4);
  return name + ".mid";
}

}  // namespace koralux
