// The file layer on Linux and other POSIX systems (common/file_io_windows.cpp on Windows).

#include "common/file_io.hpp"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__) && defined(O_TMPFILE)
#define KORALUX_NAMELESS_FILES 1
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/fatal_stop.hpp"
#include "common/file_io_parts.hpp"
#include "common/read_to_end.hpp"

namespace koralux {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Writes every piece, one after another, and closes the stream, reporting the first failure as
// an error number (0 on success). Closing is checked too: a full disk often shows only when the
// buffer flushes.
int writeAndClose(FileHandle file, std::span<const std::span<const std::uint8_t>> pieces) {
  // A file of up to a megabyte is gathered in the stream's buffer and goes to the system in one
  // write; in a larger one, the large pieces go straight to the system, each in one write.
  std::size_t total = 0;
  for (const std::span<const std::uint8_t> piece : pieces) total += piece.size();
  constexpr std::size_t kGathered = std::size_t{1} << 20;
  std::unique_ptr<char[]> gathered;  // outlives the stream, which is closed below
  if (pieces.size() > 1 && total <= kGathered) {
    gathered.reset(new char[total]);  // not zeroed: the stream fills it
    std::setvbuf(file.get(), gathered.get(), _IOFBF, total);
  }
  int error = 0;
  for (const std::span<const std::uint8_t> piece : pieces) {
    if (piece.empty()) continue;
    if (std::fwrite(piece.data(), 1, piece.size(), file.get()) != piece.size()) {
      error = errno != 0 ? errno : EIO;
      break;
    }
  }
  if (error == 0 && std::fflush(file.get()) != 0) error = errno != 0 ? errno : EIO;
  errno = 0;
  if (std::fclose(file.release()) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

std::string temporaryNameBeside(const fs::path& target) {
  return (target.parent_path() / temporaryFileName(target.filename().string())).string();
}

void writeDirectly(const std::string& path, std::span<const std::span<const std::uint8_t>> bytes) {
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), "wb"));
  if (!file) throw FatalStop::fromErrno(path, errno);
  if (int error = writeAndClose(std::move(file), bytes); error != 0) {
    throw FatalStop::fromErrno(path, error);
  }
}

#if defined(KORALUX_NAMELESS_FILES)
// Writes every piece to `descriptor`, one after another; returns 0 or the error number.
int writeAll(int descriptor, std::span<const std::span<const std::uint8_t>> pieces) {
  for (std::span<const std::uint8_t> bytes : pieces) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) return errno;
      if (written == 0) return EIO;
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }
  return 0;
}
#endif

// Renames the complete temporary file over the target; removes it if that fails.
void putInPlace(const std::string& temporary, const fs::path& target, const std::string& path) {
  errno = 0;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int failure = errno != 0 ? errno : EIO;
    std::remove(temporary.c_str());
    throw FatalStop::fromErrno(path, failure);
  }
}

// Writes `bytes` into a file that has no name yet, in the target's folder, and names it only once
// it is complete: a process killed while writing (even with SIGKILL, which nothing can clean up
// after) then leaves nothing behind, as the system frees a nameless file when it is closed.
// Returns false, having left nothing, where the folder's file system has no nameless files (FAT
// on a USB stick, for one) or the file cannot be named; the caller then writes a named one.
bool writeNamelessThenPlace(const fs::path& target, const fs::file_status& status,
                            std::span<const std::span<const std::uint8_t>> bytes,
                            const std::string& path) {
#if defined(KORALUX_NAMELESS_FILES)
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int descriptor = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (descriptor < 0) return false;
  if (const int failure = writeAll(descriptor, bytes); failure != 0) {
    ::close(descriptor);
    throw FatalStop::fromErrno(path, failure);
  }
  if (fs::exists(status)) {
    // A replaced file keeps its permissions.
    (void)::fchmod(descriptor, static_cast<mode_t>(status.permissions()));
  }
  const std::string temporary = temporaryNameBeside(target);
  const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    ::close(descriptor);
    return false;
  }
  if (::close(descriptor) != 0) {
    const int failure = errno != 0 ? errno : EIO;
    std::remove(temporary.c_str());
    throw FatalStop::fromErrno(path, failure);
  }
  putInPlace(temporary, target, path);
  return true;
#else
  (void)target;
  (void)status;
  (void)bytes;
  (void)path;
  return false;
#endif
}

}  // namespace

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) throw FatalStop::fromErrno(path, errno);

  std::error_code sizeError;
  const auto size = fs::file_size(path, sizeError);
  return readToEnd(sizeError ? 0 : static_cast<std::size_t>(size),
                   [&](std::uint8_t* into, std::size_t count) {
                     errno = 0;
                     const std::size_t got = std::fread(into, 1, count, file.get());
                     if (got < count && std::ferror(file.get())) {
                       throw FatalStop::fromErrno(path, errno != 0 ? errno : EIO);
                     }
                     return got;
                   });
}

void writeFileAtomically(const std::string& path,
                         std::span<const std::span<const std::uint8_t>> bytes) {
  // The system's device and process folders hold streams, not documents: /dev/stdout may
  // lead to a terminal, a pipe or a file opened for appending, which must be written through.
  if (path.starts_with("/dev/") || path.starts_with("/proc/")) {
    writeDirectly(path, bytes);
    return;
  }
  std::error_code error;
  fs::path target(path);
  fs::file_status status = fs::symlink_status(target, error);
  // Writing through a symbolic link updates the file it points to and keeps the link.
  if (fs::is_symlink(status)) {
    fs::path resolved = fs::canonical(target, error);
    if (!error) target = resolved;
    status = fs::status(target, error);
  }
  if (fs::is_directory(status)) throw FatalStop::fromErrno(path, EISDIR);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    writeDirectly(path, bytes);
    return;
  }

  if (writeNamelessThenPlace(target, status, bytes, path)) return;

  const std::string temporary = temporaryNameBeside(target);
  errno = 0;
  FileHandle file(std::fopen(temporary.c_str(), "wbx"));
  if (!file) throw FatalStop::fromErrno(path, errno);
  if (int failure = writeAndClose(std::move(file), bytes); failure != 0) {
    std::remove(temporary.c_str());
    throw FatalStop::fromErrno(path, failure);
  }
  if (fs::exists(status)) {
    // A replaced file keeps its permissions.
    fs::permissions(temporary, status.permissions(), error);
  }
  putInPlace(temporary, target, path);
}

bool namesSameFile(const std::string& first, const std::string& second) {
  std::error_code error;
  const bool same = fs::equivalent(first, second, error);
  return !error && same;
}

std::filesystem::path pathFromUtf8(const std::string& path) {
  return std::filesystem::path(path);
}

std::string utf8FromPath(const std::filesystem::path& path) {
  return path.string();
}

void makeStandardOutputBinary() {}

std::vector<FolderEntry> listFolder(const std::string& path) {
  std::error_code error;
  fs::directory_iterator entries(path, error);
  std::vector<FolderEntry> list;
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    std::error_code kindError;
    FolderEntry::Kind kind = FolderEntry::Kind::Other;
    if (entry.is_symlink(kindError)) {
      if (entry.is_regular_file(kindError)) kind = FolderEntry::Kind::File;
    } else if (entry.is_directory(kindError)) {
      kind = FolderEntry::Kind::Folder;
    } else if (entry.is_regular_file(kindError)) {
      kind = FolderEntry::Kind::File;
    }
    list.push_back({entry.path().filename().string(), kind});
  }
  if (error) throw FatalStop::fromErrno(path, error.value());
  std::sort(list.begin(), list.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return list;
}

bool isFolder(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

void makeFolders(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) throw FatalStop::fromErrno(path, error.value());
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + '/' + name;
}

}  // namespace koralux
