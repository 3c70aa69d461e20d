#include "tests/smf_checker.hpp"

#include <cstddef>
#include <optional>
#include <string_view>

namespace koralux::test {

namespace {

constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::uint32_t kDivision = 480;

std::string hexByte(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[value >> 4] + kDigits[value & 15];
}

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// Walks the events of one track chunk; remembers the first defect.
class TrackChecker {
 public:
  TrackChecker(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end, int track)
      : file_(file), at_(begin), end_(end), track_(track) {}

  std::string run() {
    bool ended = false;
    while (at_ < end_ && problem_.empty()) {
      if (ended) return fail("an event follows the end-of-track");
      eventStart_ = at_;
      if (!quantity("delta time")) break;
      if (at_ >= end_) return fail("the track ends between a delta time and its event");
      ended = event();
    }
    if (problem_.empty() && !ended) return fail("the track does not end with an end-of-track");
    return problem_;
  }

 private:
  std::string fail(const std::string& what) {
    if (problem_.empty()) {
      problem_ = "track " + std::to_string(track_) + ", event at byte " +
                 std::to_string(eventStart_) + ": " + what;
    }
    return problem_;
  }

  // A variable-length quantity inside the chunk: at most 4 bytes, no padding.
  std::optional<std::uint32_t> quantity(std::string_view what) {
    std::uint32_t value = 0;
    for (int length = 1;; ++length) {
      if (at_ >= end_) {
        fail(std::string(what) + " is cut off by the end of the track");
        return std::nullopt;
      }
      const std::uint8_t byte = file_[at_++];
      if (length == 1 && byte == 0x80) {
        fail(std::string(what) + " is padded with a leading 0x80 byte");
        return std::nullopt;
      }
      value = (value << 7) | (byte & 0x7Fu);
      if ((byte & 0x80) == 0) return value;
      if (length == 4) {
        fail(std::string(what) + " is longer than 4 bytes");
        return std::nullopt;
      }
    }
  }

  bool dataBytes(int count) {
    for (int i = 0; i < count; ++i) {
      if (at_ >= end_) {
        fail("the channel message is cut off by the end of the track");
        return false;
      }
      const std::uint8_t byte = file_[at_++];
      if (byte >= 0x80) {
        fail("data byte " + hexByte(byte) + " of a channel message is not below 0x80");
        return false;
      }
    }
    return true;
  }

  // Checks one event after its delta time; true when it was the end-of-track.
  bool event() {
    const std::uint8_t status = file_[at_++];
    if (status < 0x80) {
      fail("data byte " + hexByte(status) +
           " where an event should start (running status is never written)");
      return false;
    }
    if (status < 0xF0) {
      const int high = status >> 4;
      dataBytes(high == 0xC || high == 0xD ? 1 : 2);
      return false;
    }
    if (status == 0xF0 || status == 0xF7) {
      const auto length = quantity("the system-exclusive length");
      if (length && *length > end_ - at_) {
        fail("the system-exclusive event's " + std::to_string(*length) +
             " bytes run past the end of the track");
      } else if (length) {
        at_ += *length;
      }
      return false;
    }
    if (status != 0xFF) {
      fail("status byte " + hexByte(status) + " is not an event of a MIDI file");
      return false;
    }
    return meta();
  }

  bool meta() {
    if (at_ >= end_) {
      fail("the meta event is cut off by the end of the track");
      return false;
    }
    const std::uint8_t type = file_[at_++];
    if (type >= 0x80) {
      fail("meta event type " + hexByte(type) + " is not below 0x80");
      return false;
    }
    const auto length = quantity("the meta event's length");
    if (!length) return false;
    if (*length > end_ - at_) {
      fail("the meta event's " + std::to_string(*length) + " bytes run past the end of the track");
      return false;
    }
    const std::span<const std::uint8_t> data = file_.subspan(at_, *length);
    at_ += *length;

    std::optional<std::uint32_t> required;
    switch (type) {
      case 0x2F:
        required = 0;
        break;
      case 0x20:
      case 0x21:
        required = 1;
        break;
      case 0x51:
        required = 3;
        break;
      case 0x54:
        required = 5;
        break;
      case 0x58:
        required = 4;
        break;
      case 0x59:
        required = 2;
        break;
      default:
        break;
    }
    if (required && *length != *required) {
      fail("meta event " + hexByte(type) + " has length " + std::to_string(*length) +
           " instead of " + std::to_string(*required));
      return false;
    }
    if (type == 0x51 && bigEndian(data, 0, 3) == 0) fail("the tempo is 0 microseconds per beat");
    if (type == 0x20 && data[0] > 15) {
      fail("channel prefix " + std::to_string(data[0]) + " is not a channel 0 to 15");
    }
    if (type == 0x59) {
      const auto sharpsFlats = static_cast<std::int8_t>(data[0]);
      if (sharpsFlats < -7 || sharpsFlats > 7) {
        fail("key signature with " + std::to_string(sharpsFlats) + " sharps (-7 to 7 allowed)");
      } else if (data[1] > 1) {
        fail("key signature mode " + std::to_string(data[1]) + " is neither major nor minor");
      }
    }
    return type == 0x2F;
  }

  std::span<const std::uint8_t> file_;
  std::size_t at_;
  std::size_t end_;
  int track_;
  std::size_t eventStart_ = 0;
  std::string problem_;
};

}  // namespace

std::string smfDefect(std::span<const std::uint8_t> file) {
  if (file.size() < kHeaderSize) {
    return "the file has " + std::to_string(file.size()) + " bytes, too few for a MIDI header";
  }
  if (std::string_view(reinterpret_cast<const char*>(file.data()), 4) != "MThd") {
    return "the file does not begin with \"MThd\"";
  }
  if (const auto length = bigEndian(file, 4, 4); length != 6) {
    return "the header's length is " + std::to_string(length) + " instead of 6";
  }
  if (const auto format = bigEndian(file, 8, 2); format != 1) {
    return "the file has format " + std::to_string(format) + " instead of 1";
  }
  const std::uint32_t declaredTracks = bigEndian(file, 10, 2);
  if (const auto division = bigEndian(file, 12, 2); division != kDivision) {
    return "the division is " + std::to_string(division) + " instead of 480 ticks per quarter note";
  }
  if (declaredTracks == 0) return "the header declares no tracks";

  std::uint32_t tracks = 0;
  std::size_t at = kHeaderSize;
  while (at < file.size()) {
    const std::string where = "the chunk at byte " + std::to_string(at);
    if (file.size() - at < kChunkHeaderSize) return where + " is cut off before its length ends";
    if (std::string_view(reinterpret_cast<const char*>(file.data() + at), 4) != "MTrk") {
      return where + " is not a track (\"MTrk\")";
    }
    const std::uint32_t length = bigEndian(file, at + 4, 4);
    const std::size_t begin = at + kChunkHeaderSize;
    if (length > file.size() - begin) {
      return where + " has length " + std::to_string(length) + ", past the end of the file";
    }
    if (length == 0) return where + " is empty: a track needs at least its end-of-track";
    ++tracks;
    if (std::string problem =
            TrackChecker(file, begin, begin + length, static_cast<int>(tracks)).run();
        !problem.empty()) {
      return problem;
    }
    at = begin + length;
  }
  if (tracks != declaredTracks) {
    return "the header declares " + std::to_string(declaredTracks) + " tracks but the file holds " +
           std::to_string(tracks);
  }
  return {};
}

}  // namespace koralux::test
