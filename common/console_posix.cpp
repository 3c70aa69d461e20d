// The console on Linux and other POSIX systems (common/console_windows.cpp on Windows).

#include <unistd.h>

#include "common/console.hpp"

namespace koralux {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::vector<std::string> expandWildcards(const std::string& argument, bool /*folders*/) {
  return {argument};
}

bool isTerminal(StandardStream stream) {
  return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void prepareStandardStreams() {}

}  // namespace koralux
