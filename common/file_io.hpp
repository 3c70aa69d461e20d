#pragma once
// Whole-file reading and all-or-nothing writing. Errors are FatalStop with the path as label
// and the system's own words ("No such file or directory", "No space left on device"; on
// Windows "The system cannot find the file specified.").
//
// Paths are UTF-8 on every system. On Windows every call goes through the system's UTF-16
// interface, and paths of any length work (longer ones than the old limit of 260 characters
// too).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace koralux {

// Reads the whole file at `path` into memory.
std::vector<std::uint8_t> readWholeFile(const std::string& path);

// Puts `bytes` at `path` so that the file appears complete or not at all.
// A regular file (or a new name) is written to a temporary file beside it and renamed into
// place; on failure the temporary file is removed and an existing file is left unchanged.
// Where the file system allows, the temporary file has no name until it is complete, so that
// not even a process killed while writing leaves one behind.
// A path that names something other than a regular file (a character device such as
// /dev/stdout or /dev/full, a pipe; on Windows a device such as NUL) is written to directly
// and never replaced.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
// The same for a file given in pieces, written one after another.
void writeFileAtomically(const std::string& path,
                         std::span<const std::span<const std::uint8_t>> pieces);

// True when both paths name the same existing file: the same spelling, another spelling,
// a symbolic link or a hard link to it (on Windows also another case of the letters).
bool namesSameFile(const std::string& first, const std::string& second);

// What a folder holds: each entry's name and kind. A link to a folder is neither a file nor a
// folder here (walks do not follow it); a link to a file is a file.
struct FolderEntry {
  enum class Kind { File, Folder, Other };
  std::string name;  // UTF-8, without the folder
  Kind kind = Kind::Other;
};

// The entries of the folder at `path` but "." and "..", sorted by name.
std::vector<FolderEntry> listFolder(const std::string& path);

// True when `path` names a folder (or a link to one).
bool isFolder(const std::string& path);

// Makes the folder at `path` and the folders above it that are missing.
void makeFolders(const std::string& path);

// `name` inside `folder`, joined as the folder is spelled: with the separator it uses last (on
// Windows "\" or "/", "\" when it has none; "/" elsewhere), with none when it ends in one.
// An empty folder gives `name`.
std::string joinPath(const std::string& folder, const std::string& name);

// The label of errors in writing standard output.
inline constexpr const char* kStandardOutputLabel = "standard output";

// Writes `bytes` to standard output, unchanged (in binary mode on Windows), and flushes it.
void writeStandardOutput(std::span<const std::uint8_t> bytes);

// A UTF-8 path as the standard library's path and back. The library's own conversions of
// std::string use the system's code page on Windows, which cannot hold every name.
std::filesystem::path pathFromUtf8(const std::string& path);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace koralux
