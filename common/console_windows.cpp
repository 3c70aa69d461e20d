// The console on Windows (common/console_posix.cpp elsewhere).

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "common/console.hpp"
#include "common/windows_text.hpp"

namespace koralux {

namespace {

// The console's code page belongs to the console, not to the program: it is put back on exit.
UINT consoleCodePage = 0;
void restoreConsoleCodePage() {
  SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv) {
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(windows::narrow(wide[i]));
    LocalFree(wide);
    return arguments;
  }
  return std::vector<std::string>(argv, argv + argc);
}

bool isTerminal(StandardStream stream) {
  return _isatty(_fileno(stream == StandardStream::Output ? stdout : stderr)) != 0;
}

void prepareStandardStreams() {
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
}

}  // namespace koralux
