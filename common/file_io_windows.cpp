// The file layer on Windows (common/file_io_posix.cpp elsewhere). Every call goes through the
// wide API with UTF-8 paths turned into UTF-16; errors carry FormatMessageW's words.

#include <windows.h>
// windows.h first: io.h and fcntl.h are the C runtime's.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "common/file_io_parts.hpp"
#include "common/read_to_end.hpp"
#include "common/windows_text.hpp"

namespace koralux {

namespace {

using windows::systemPath;

// The system's words for a GetLastError() code, with the code (Windows' own numbers).
FatalStop systemError(const std::string& label, DWORD code) {
  return FatalStop(label, windows::errorText(code),
                   std::error_code(static_cast<int>(code), std::system_category()));
}

// Closes the handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Returns 0 or the error of closing.
  DWORD close() {
    if (!valid()) return 0;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed ? 0 : GetLastError();
  }

 private:
  HANDLE handle_;
};

// Writes every piece, one after another, and flushes the file to the disk; returns 0 or the
// error of the first failure.
DWORD writeAll(HANDLE file, std::span<const std::span<const std::uint8_t>> pieces, bool flush) {
  for (std::span<const std::uint8_t> bytes : pieces) {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return GetLastError();
      if (written == 0) return ERROR_WRITE_FAULT;
      bytes = bytes.subspan(written);
    }
  }
  if (flush && !FlushFileBuffers(file)) return GetLastError();
  return 0;
}

// A device (NUL, CON, COM1) is written to directly and never replaced.
void writeDirectly(const std::wstring& target, const std::string& path,
                   std::span<const std::span<const std::uint8_t>> pieces) {
  Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw systemError(path, GetLastError());
  DWORD failure = writeAll(file.get(), pieces, false);
  const DWORD closing = file.close();
  if (failure == 0) failure = closing;
  if (failure != 0) throw systemError(path, failure);
}

// The file a symbolic link (or junction) leads to; the path itself for anything else.
std::wstring finalPath(const std::wstring& target) {
  Handle file(CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return target;
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        file.get(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return target;
    if (length < final.size()) {
      final.resize(length);
      return final;
    }
    final.resize(length);
  }
}

std::wstring temporaryNameBeside(const std::wstring& target) {
  const std::size_t slash = target.find_last_of(L"\\/");
  return target.substr(0, slash + 1) +
         windows::widen(temporaryFileName(windows::narrow(target.substr(slash + 1))));
}

}  // namespace

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
  Handle file(CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) throw systemError(path, GetLastError());

  LARGE_INTEGER size{};
  const bool sized = GetFileSizeEx(file.get(), &size) != 0;
  return readToEnd(sized ? static_cast<std::size_t>(size.QuadPart) : 0, [&](std::uint8_t* into,
                                                                            std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
      DWORD part = 0;
      if (!ReadFile(file.get(), into + got, chunk, &part, nullptr)) {
        throw systemError(path, GetLastError());
      }
      if (part == 0) break;
      got += part;
    }
    return got;
  });
}

void writeFileAtomically(const std::string& path,
                         std::span<const std::span<const std::uint8_t>> pieces) {
  std::wstring target = systemPath(path);
  if (target.starts_with(L"\\\\.\\")) {
    writeDirectly(target, path, pieces);
    return;
  }
  DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Writing through a symbolic link updates the file it points to and keeps the link.
  if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    target = finalPath(target);
    attributes = GetFileAttributesW(target.c_str());
  }
  // Windows' own answer to opening a folder for writing, and to replacing a read-only file
  // (MoveFileExW's documented refusal, which Wine does not make: it is asked here).
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    throw systemError(path, ERROR_ACCESS_DENIED);
  }

  // A new file of our own beside the target: CREATE_NEW never opens another's file.
  std::wstring temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = temporaryNameBeside(target);
    created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) throw systemError(path, GetLastError());
  Handle file(created);
  DWORD failure = writeAll(file.get(), pieces, true);
  const DWORD closing = file.close();
  if (failure == 0) failure = closing;
  if (failure == 0 && exists) {
    // A replaced file keeps its attributes (hidden, archive...).
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept != 0) SetFileAttributesW(temporary.c_str(), kept);
  }
  if (failure == 0 && !MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = GetLastError();
  }
  if (failure != 0) {
    DeleteFileW(temporary.c_str());
    throw systemError(path, failure);
  }
}

bool namesSameFile(const std::string& first, const std::string& second) {
  // The file's identity: its volume and its number on the volume. Two spellings, two cases of
  // the letters, a link or a hard link all lead to the same pair.
  const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle file(CreateFileW(systemPath(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() && GetFileInformationByHandle(file.get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (!identity(first, a) || !identity(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

std::filesystem::path pathFromUtf8(const std::string& path) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

std::string utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

void makeStandardOutputBinary() {
  _setmode(_fileno(stdout), _O_BINARY);
}

std::vector<FolderEntry> listFolder(const std::string& path) {
  std::wstring pattern = systemPath(path);
  if (!pattern.ends_with(L'\\')) pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive's top folder has no "." and "..": empty, it has nothing to find.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
    throw systemError(path, GetLastError());
  }
  std::vector<FolderEntry> list;
  DWORD failure = 0;
  for (;;) {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") {
      FolderEntry::Kind kind = FolderEntry::Kind::File;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        kind = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                   ? FolderEntry::Kind::Other
                   : FolderEntry::Kind::Folder;
      }
      list.push_back({windows::narrow(name), kind});
    }
    if (!FindNextFileW(search, &found)) {
      failure = GetLastError();
      break;
    }
  }
  FindClose(search);
  if (failure != ERROR_NO_MORE_FILES) throw systemError(path, failure);
  std::sort(list.begin(), list.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return list;
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void makeFolders(const std::string& path) {
  const std::wstring full = systemPath(path);
  // Each folder from the top down, passing those that exist; the first is the one below the
  // drive (\\?\C:\) or the share (\\?\UNC\server\share\).
  std::size_t at = full.find(L'\\', 7);
  if (full.starts_with(L"\\\\?\\UNC\\")) at = full.find(L'\\', full.find(L'\\', 8) + 1);
  for (;;) {
    const std::wstring folder = full.substr(0, at);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if ((attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) &&
        !CreateDirectoryW(folder.c_str(), nullptr)) {
      throw systemError(path, GetLastError());
    }
    if (at == std::wstring::npos) return;
    at = full.find(L'\\', at + 1);
  }
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '\\' || last == '/' || last == ':') return folder + name;
  const std::size_t separator = folder.find_last_of("\\/");
  return folder + (separator == std::string::npos ? '\\' : folder[separator]) + name;
}

}  // namespace koralux
