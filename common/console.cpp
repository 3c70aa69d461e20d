#include "common/console.hpp"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/windows_text.hpp"
#endif

namespace koralux {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#if defined(_WIN32)
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(windows::narrow(wide[i]));
    LocalFree(wide);
    return arguments;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

void prepareStandardStreams() {
#if defined(_WIN32)
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace koralux
