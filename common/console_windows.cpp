// The console on Windows (common/console_posix.cpp elsewhere).

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <streambuf>

#include "common/console.hpp"
#include "common/file_io.hpp"
#include "common/windows_text.hpp"

namespace koralux {

namespace {

// True when `name` matches `pattern`, both in upper case: * any run of characters, ? any one.
bool matches(std::wstring_view name, std::wstring_view pattern) {
  if (pattern == L"*.*") return true;
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t star = std::wstring_view::npos;  // the last * seen, and where its run started
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      starName = n;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::wstring upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// What the program writes to std::cout or std::cerr where it leads to a console: kept until a
// line is complete (or the stream is flushed) and written whole, as UTF-16, so that the console
// shows every character whatever its code page; an unfinished UTF-8 sequence waits for its
// end.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char character = traits_type::to_char_type(c);
    xsputn(&character, 1);
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    const std::lock_guard lock(mutex_);
    pending_.append(text, static_cast<std::size_t>(count));
    if (const std::size_t line = pending_.find_last_of('\n'); line != std::string::npos) {
      writeOut(line + 1);
    }
    return count;
  }
  int sync() override {
    const std::lock_guard lock(mutex_);
    writeOut(completeLength());
    return 0;
  }

 private:
  // The length of `pending_` without an unfinished UTF-8 sequence at its end.
  std::size_t completeLength() const {
    for (std::size_t back = 1; back <= std::min<std::size_t>(4, pending_.size()); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return length > back ? pending_.size() - back : pending_.size();
    }
    return pending_.size();
  }
  void writeOut(std::size_t length) {
    std::string_view text = std::string_view(pending_).substr(0, length);
    // The progress line ends in the terminal escape that erases the rest of the line; the
    // console is asked to do so itself, which every Windows console can.
    constexpr std::string_view kEraseLine = "\033[K";
    for (std::size_t escape; (escape = text.find(kEraseLine)) != std::string_view::npos;) {
      write(text.substr(0, escape));
      eraseLine();
      text.remove_prefix(escape + kEraseLine.size());
    }
    write(text);
    pending_.erase(0, length);
  }
  void write(std::string_view utf8) {
    const std::wstring text = windows::widen(utf8);
    for (std::size_t done = 0; done < text.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 16384));
      if (!WriteConsoleW(console_, text.data() + done, chunk, &written, nullptr) || written == 0) {
        return;
      }
      done += written;
    }
  }
  // Blanks the line from the cursor to its end; the cursor stays.
  void eraseLine() {
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!GetConsoleScreenBufferInfo(console_, &screen)) return;
    DWORD blanked = 0;
    FillConsoleOutputCharacterW(console_, L' ',
                                static_cast<DWORD>(screen.dwSize.X - screen.dwCursorPosition.X),
                                screen.dwCursorPosition, &blanked);
  }

  HANDLE console_;
  std::mutex mutex_;
  std::string pending_;
};

// The standard streams that lead to a console; their own buffers are put back on exit.
struct ConsoleStream {
  ConsoleStream(std::ostream& s, DWORD h) : stream(s), handle(h) {}
  std::ostream& stream;
  DWORD handle;
  std::streambuf* original = nullptr;
  std::optional<ConsoleBuffer> buffer;
};
ConsoleStream consoleStreams[] = {{std::cout, STD_OUTPUT_HANDLE}, {std::cerr, STD_ERROR_HANDLE}};

void restoreStreams() {
  for (ConsoleStream& console : consoleStreams) {
    if (!console.buffer) continue;
    console.stream.flush();
    console.stream.rdbuf(console.original);
  }
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

std::vector<std::string> expandWildcards(const std::string& argument, bool folders) {
  const std::size_t separator = argument.find_last_of("\\/:");
  const std::string folder =
      separator == std::string::npos ? "" : argument.substr(0, separator + 1);
  const std::string pattern = argument.substr(folder.size());
  if (pattern.find_first_of("*?") == std::string::npos) return {argument};

  const std::wstring wanted = upper(windows::widen(pattern));
  std::vector<std::wstring> names;
  for (const FolderEntry& entry : listFolder(folder.empty() ? "." : folder)) {
    const bool kept = entry.kind == FolderEntry::Kind::File ||
                      (folders && entry.kind == FolderEntry::Kind::Folder);
    std::wstring name = windows::widen(entry.name);
    if (kept && matches(upper(name), wanted)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  });
  std::vector<std::string> paths;
  for (const std::wstring& name : names) paths.push_back(folder + windows::narrow(name));
  return paths;
}

bool isTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(
             GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
             &mode) != 0;
}

void prepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  bool any = false;
  for (ConsoleStream& console : consoleStreams) {
    const HANDLE handle = GetStdHandle(console.handle);
    if (DWORD mode = 0; !GetConsoleMode(handle, &mode)) continue;
    console.buffer.emplace(handle);
    console.original = console.stream.rdbuf(&*console.buffer);
    // A line is written whole: std::cerr then waits for the line's end, not each piece's.
    console.stream.unsetf(std::ios_base::unitbuf);
    any = true;
  }
  if (any) std::atexit(restoreStreams);
}

}  // namespace koralux
