#pragma once
// Whole-file reading and all-or-nothing writing. Errors are FatalStop with the path as label
// and the system's own words ("No such file or directory", "No space left on device").

#include <cstdint>
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
// /dev/stdout or /dev/full, a pipe) is written to directly and never replaced.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
// The same for a file given in pieces, written one after another.
void writeFileAtomically(const std::string& path,
                         std::span<const std::span<const std::uint8_t>> pieces);

// True when both paths name the same existing file: the same spelling, another spelling,
// a symbolic link or a hard link to it.
bool namesSameFile(const std::string& first, const std::string& second);

}  // namespace koralux
