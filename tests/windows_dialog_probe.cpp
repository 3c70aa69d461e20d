// What the Windows dialog's test cannot see from the X side: the text of the message box
// captioned exactly TITLE (a visible dialog window; the text is its control 0xFFFF), written to
// standard output in UTF-8, unchanged. Exits with 1 when there is no such box.
// Usage: windows_dialog_probe TITLE

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/windows_text.hpp"

namespace {

std::wstring textOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  std::pair<const wchar_t*, HWND> search{argv[1], nullptr};
  EnumWindows(
      [](HWND window, LPARAM found) {
        auto& [title, box] = *reinterpret_cast<std::pair<const wchar_t*, HWND>*>(found);
        wchar_t name[8];
        if (!IsWindowVisible(window) || GetClassNameW(window, name, 8) != 6 ||
            std::wstring(name) != L"#32770" || textOf(window) != title) {
          return TRUE;
        }
        box = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.second == nullptr) return 1;
  const std::string text = koralux::windows::narrow(textOf(GetDlgItem(search.second, 0xFFFF)));
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
