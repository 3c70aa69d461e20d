#pragma once
// Reads a performance file's event stream from memory, one classified event per call.
// The stream starts after the 256-byte header and ends where the bytes end.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "evt/performance_event.hpp"

namespace koralux {

inline constexpr std::size_t kPerformanceHeaderSize = 256;
// The longest system-exclusive message, counted after its F0.
inline constexpr std::size_t kSystemExclusiveLimit = 512;

class PerformanceReader {
 public:
  // `bytes` must outlive the reader. `label` names the file in error messages.
  PerformanceReader(std::span<const std::uint8_t> bytes, std::string label);

  // Back to the first event, after the header.
  void rewind() noexcept { offset_ = start_; }

  // The next event, or EndOfFile (again and again) once the bytes are used up.
  // A data byte missing at the very end reads as 0. Throws FatalStop when the file
  // ends inside a system-exclusive message.
  PerformanceEvent next();

  // Byte offset in the file of the next event to be read.
  std::size_t offset() const noexcept { return offset_; }
  std::size_t size() const noexcept { return bytes_.size(); }
  const std::string& label() const noexcept { return label_; }

 private:
  std::int32_t takeByte() noexcept { return offset_ < bytes_.size() ? bytes_[offset_++] : 0; }
  PerformanceEvent readSystemExclusive();

  std::span<const std::uint8_t> bytes_;
  std::string label_;
  std::size_t start_;
  std::size_t offset_;
};

}  // namespace koralux
