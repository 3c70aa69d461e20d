#include "engine/findings.hpp"

#include "common/filled_sector.hpp"
#include "evt/performance_reader.hpp"

namespace koralux {

namespace {

// Every 512-byte sector of the file (counted from its first byte, the header included) that
// holds one byte value only: what imaging tools and formatters leave where a sector could not
// be read. A real recording never repeats one byte 512 times.
void findUnreadSectors(std::span<const std::uint8_t> bytes, std::vector<Finding>& findings) {
  for (std::size_t at = 0; at + kSectorSize <= bytes.size(); at += kSectorSize) {
    const auto fill = fillByte(bytes.subspan(at, kSectorSize));
    if (!fill) continue;
    findings.push_back({FindingCode::UnreadSector,
                        "the bytes from " + std::to_string(at) + " to " +
                            std::to_string(at + kSectorSize - 1) + " look unread (all " +
                            hexByte(*fill) + ")",
                        static_cast<std::int64_t>(at)});
  }
}

}  // namespace

std::string_view findingCodeName(FindingCode code) noexcept {
  switch (code) {
    case FindingCode::HeaderOnly:
      return "header-only";
    case FindingCode::NoNotes:
      return "no-notes";
    case FindingCode::NoTiming:
      return "no-timing";
    case FindingCode::CutShort:
      return "cut-short";
    case FindingCode::NotOrganBytes:
      return "not-organ-bytes";
    case FindingCode::NoEarlyTiming:
      return "no-early-timing";
    case FindingCode::UnreadSector:
      return "unread-sector";
  }
  return "unknown";
}

std::vector<Finding> gatherFindings(const PerformanceReader& reader, const FindingCounts& counts) {
  std::vector<Finding> findings;
  const std::span<const std::uint8_t> bytes = reader.bytes();
  const auto streamBytes = static_cast<std::int64_t>(bytes.size() - kPerformanceHeaderSize);
  if (streamBytes == 0) {
    findings.push_back({FindingCode::HeaderOnly,
                        "there is nothing after the 256-byte header: the file holds no "
                        "performance",
                        static_cast<std::int64_t>(kPerformanceHeaderSize)});
  } else {
    if (counts.noteOns == 0) {
      findings.push_back({FindingCode::NoNotes, "not one note is played in the file"});
    }
    if (counts.timingEvents == 0) {
      findings.push_back({FindingCode::NoTiming,
                          "the file has no clock markers and no timing events, so the MIDI "
                          "file has no real timing: every note lands at its start"});
    }
  }
  if (reader.cutShortAt() != PerformanceReader::kNotCutShort) {
    findings.push_back({FindingCode::CutShort,
                        "the file ends inside the event that starts at byte " +
                            std::to_string(reader.cutShortAt()) +
                            ": the recording is probably cut short",
                        static_cast<std::int64_t>(reader.cutShortAt())});
  }
  // An organ sends a stray byte now and then; a quarter of the stream is something else.
  if (counts.strayBytes >= 16 && counts.strayBytes * 4 >= streamBytes) {
    const std::int64_t percent = counts.strayBytes * 100 / streamBytes;
    findings.push_back({FindingCode::NotOrganBytes,
                        std::to_string(percent) +
                            "% of the bytes after the header are no organ events (data bytes "
                            "out of place, stray bytes): the file does not look like an organ "
                            "recording"});
  }
  if (counts.timingEvents > 0 && counts.eventsBeforeTiming >= kEventsBeforeTimingLimit) {
    findings.push_back({FindingCode::NoEarlyTiming,
                        "its first " + std::to_string(counts.eventsBeforeTiming) +
                            " events hold no timing event or clock marker: the file does not "
                            "look like an organ recording"});
  }
  findUnreadSectors(bytes, findings);
  return findings;
}

}  // namespace koralux
