#include "evt/performance_reader.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/fatal_stop.hpp"

namespace koralux {

PerformanceReader::PerformanceReader(std::span<const std::uint8_t> bytes, std::string label)
    : bytes_(bytes),
      label_(std::move(label)),
      start_(std::min(kPerformanceHeaderSize, bytes.size())),
      offset_(start_) {
  if (bytes.size() < kPerformanceHeaderSize) {
    throw FatalStop(label_, "not a performance file: it has " + std::to_string(bytes.size()) +
                                (bytes.size() == 1 ? " byte" : " bytes") +
                                ", and a performance starts with a " +
                                std::to_string(kPerformanceHeaderSize) + "-byte header");
  }
}

PerformanceEvent PerformanceReader::next() {
  PerformanceEvent event;
  if (offset_ < bytes_.size()) {
    const auto keep = [&event](const PerformanceEvent& decoded) { event = decoded; };
    offset_ = decode<true>(bytes_.data(), bytes_.size(), offset_, keep);
  }
  return event;
}

std::size_t PerformanceReader::systemExclusiveEnd(std::size_t at) {
  // Bytes up to and including the first F7, at most 512 of them.
  const std::size_t available = std::min(bytes_.size() - at, kSystemExclusiveLimit);
  const std::uint8_t* first = bytes_.data() + at;
  if (const void* end = std::memchr(first, 0xF7, available); end != nullptr) {
    return at + static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - first) + 1;
  }
  if (available == kSystemExclusiveLimit) return at + kSystemExclusiveLimit;
  endsInsideSystemExclusive(at - 1);
}

void PerformanceReader::endsInsideSystemExclusive(std::size_t begin) {
  offset_ = bytes_.size();
  throw FatalStop(label_, "the file ends inside a system-exclusive message (it starts at byte " +
                              std::to_string(begin) + " and has no end byte F7)");
}

}  // namespace koralux
