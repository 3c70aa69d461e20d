#include "common/console.hpp"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

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

#if defined(_WIN32)
namespace {
// The console's code page belongs to the console, not to the program: it is put back on exit.
UINT consoleCodePage = 0;
void restoreConsoleCodePage() {
  SetConsoleOutputCP(consoleCodePage);
}
}  // namespace
#endif

void prepareStandardStreams() {
#if defined(_WIN32)
  consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    std::atexit(restoreConsoleCodePage);
  }
  // The batch's progress line is redrawn with the terminal escapes that Linux terminals take;
  // Windows 10's console takes them once asked to.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (DWORD mode = 0; GetConsoleMode(error, &mode)) {
    SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace koralux
