#pragma once
// Reading a whole file through a system's own read call, the same on every system.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace koralux {

// Reads at the size the file has now (`expectedSize`, 0 when it cannot be told), in one go: one
// byte more is asked for, so that a short read shows the end of the file without another call.
// A file that grows meanwhile is read on in chunks through a small buffer, so that the vector
// grows only when there is more to read. `read(into, count)` returns the bytes it read, fewer
// than `count` only at the end, and throws on an error.
template <typename Read>
std::vector<std::uint8_t> readToEnd(std::size_t expectedSize, Read&& read) {
  std::vector<std::uint8_t> bytes(expectedSize == 0 ? 0 : expectedSize + 1);
  if (!bytes.empty()) {
    const std::size_t got = read(bytes.data(), bytes.size());
    if (got < bytes.size()) {
      bytes.resize(got);
      return bytes;
    }
  }
  std::array<std::uint8_t, 1 << 16> chunk;
  while (const std::size_t more = read(chunk.data(), chunk.size())) {
    bytes.insert(bytes.end(), chunk.data(), chunk.data() + more);
  }
  return bytes;
}

}  // namespace koralux
