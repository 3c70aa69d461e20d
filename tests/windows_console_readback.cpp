// What a program shows in a console window, read back from the console's screen: runs COMMAND in
// a new console of its own (its standard output and error on that console) and writes the
// console's lines, without their trailing blanks, to OUTPUT in UTF-8. Exits with the command's
// exit status. Wine opens a console only on a display (xvfb-run).
//
// Usage: windows_console_readback OUTPUT COMMAND [ARGUMENT...]   (arguments without quotes)

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/windows_text.hpp"

int wmain(int argc, wchar_t** argv) {
  using koralux::windows::narrow;
  if (argc < 3) {
    std::fputs("usage: windows_console_readback OUTPUT COMMAND [ARGUMENT...]\n", stderr);
    return 2;
  }
  FreeConsole();
  if (!AllocConsole()) return 3;
  const HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  // Wide enough that no line wraps.
  SetConsoleScreenBufferSize(console, COORD{400, 100});

  std::wstring line;
  for (int i = 2; i < argc; ++i) line += std::wstring(i > 2 ? L" \"" : L"\"") + argv[i] + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 4;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);

  CONSOLE_SCREEN_BUFFER_INFO screen{};
  GetConsoleScreenBufferInfo(console, &screen);
  std::string text;
  for (SHORT row = 0; row <= screen.dwCursorPosition.Y; ++row) {
    std::wstring cells(static_cast<std::size_t>(screen.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, cells.data(), static_cast<DWORD>(cells.size()),
                                COORD{0, row}, &read);
    cells.resize(read);
    cells.erase(cells.find_last_not_of(L' ') + 1);
    text += narrow(cells) + "\n";
  }
  std::FILE* output = _wfopen(argv[1], L"wb");
  if (output == nullptr) return 5;
  std::fwrite(text.data(), 1, text.size(), output);
  std::fclose(output);
  return static_cast<int>(status);
}
