#pragma once
// What a fuzz target does when a property it checks does not hold: it says which, and aborts,
// so that libFuzzer keeps the input as a finding and a replay run fails.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace koralux::fuzz {

[[noreturn]] inline void broken(const std::string& property) {
  std::fprintf(stderr, "property broken: %s\n", property.c_str());
  std::abort();
}

inline void require(bool holds, const char* property) {
  if (!holds) broken(property);
}

}  // namespace koralux::fuzz
