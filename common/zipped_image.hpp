#pragma once
// Disk images kept in a zip (.imz): the one sector image inside, unpacked in memory. The zip is
// opened for reading only.

#include <cstdint>
#include <string>
#include <vector>

namespace koralux {

// The bytes of the one file in the zip at `path`. Throws FatalStop (labelled `path`) when the
// zip cannot be read, holds no file or more than one, a file larger than any floppy disk, or
// one whose checksum does not match; and in a build without a zip library.
std::vector<std::uint8_t> readZippedImage(const std::string& path);

// Whether this build unpacks zipped images (the MinGW-w64 cross-build does not).
bool readsZippedImages();

}  // namespace koralux
