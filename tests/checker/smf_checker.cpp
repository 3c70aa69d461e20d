#include "tests/checker/smf_checker.hpp"

#include <cstddef>
#include <string_view>
#include <utility>

namespace koralux::test {

namespace {

// Meta event types whose length is fixed, and that length.
constexpr std::pair<std::uint8_t, std::uint32_t> kFixedMetaLengths[] = {
    {0x2F, 0}, {0x20, 1}, {0x21, 1}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};

std::string hexByte(std::uint8_t value) {
  return std::string("0x") + "0123456789ABCDEF"[value >> 4] + "0123456789ABCDEF"[value & 15];
}

// Walks the file chunk by chunk and event by event; throws its first defect as text.
class Checker {
 public:
  explicit Checker(std::span<const std::uint8_t> file) : file_(file) {}

  void run() {
    if (file_.size() < 14) fail(std::to_string(file_.size()) + " bytes, too few for a MIDI header");
    if (!startsChunk("MThd")) fail("the file does not begin with \"MThd\"");
    field(4, 4, 6, "the header's length");
    field(8, 2, 1, "the format");
    field(12, 2, 480, "the division");
    const std::uint32_t declared = bigEndian(10, 2);
    if (declared == 0) fail("the header declares no tracks");
    std::uint32_t tracks = 0;
    for (at_ = 14; at_ < file_.size(); ++tracks) {
      eventStart_ = at_;
      if (file_.size() - at_ < 8) fail("the chunk is cut off before its length ends");
      if (!startsChunk("MTrk")) fail("the chunk is not a track (\"MTrk\")");
      const std::uint32_t length = bigEndian(at_ + 4, 4);
      if (length > file_.size() - at_ - 8) fail("the chunk runs past the end of the file");
      if (length == 0) fail("the chunk is empty: a track needs at least its end-of-track");
      at_ += 8;
      end_ = at_ + length;
      track(tracks + 1);
    }
    if (tracks != declared) {
      fail("the header declares " + std::to_string(declared) + " tracks but the file holds " +
           std::to_string(tracks));
    }
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    const std::string where = track_ == 0 ? "" : "track " + std::to_string(track_) + ", ";
    throw where + "byte " + std::to_string(eventStart_) + ": " + what;
  }

  std::uint32_t bigEndian(std::size_t at, int width) const {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | file_[at + static_cast<std::size_t>(i)];
    return value;
  }
  void field(std::size_t at, int width, std::uint32_t expected, const std::string& what) const {
    if (const std::uint32_t value = bigEndian(at, width); value != expected) {
      fail(what + " is " + std::to_string(value) + " instead of " + std::to_string(expected));
    }
  }
  bool startsChunk(std::string_view type) const {
    return std::string_view(reinterpret_cast<const char*>(file_.data() + at_), 4) == type;
  }

  std::uint8_t take(std::string_view what) {
    if (at_ >= end_) fail(std::string(what) + " is cut off by the end of the track");
    return file_[at_++];
  }
  // A variable-length quantity: at most 4 bytes, no padding.
  std::uint32_t quantity(std::string_view what) {
    std::uint32_t value = 0;
    for (int length = 1;; ++length) {
      const std::uint8_t byte = take(what);
      if (length == 1 && byte == 0x80) fail(std::string(what) + " is padded with a leading 0x80");
      value = (value << 7) | (byte & 0x7Fu);
      if ((byte & 0x80) == 0) return value;
      if (length == 4) fail(std::string(what) + " is longer than 4 bytes");
    }
  }
  std::span<const std::uint8_t> skip(std::uint32_t length) {
    if (length > end_ - at_) fail(std::to_string(length) + " bytes run past the end of the track");
    at_ += length;
    return file_.subspan(at_ - length, length);
  }

  void track(std::uint32_t number) {
    track_ = number;
    for (bool ended = false; !ended;) {
      if (at_ >= end_) fail("the track does not end with an end-of-track");
      eventStart_ = at_;
      quantity("the delta time");
      if (at_ >= end_) fail("the track ends between a delta time and its event");
      ended = event();
    }
    if (at_ < end_) fail("an event follows the end-of-track");
  }

  // Checks one event after its delta time; true when it was the end-of-track.
  bool event() {
    const std::uint8_t status = file_[at_++];
    if (status < 0x80) fail("data byte " + hexByte(status) + " where an event should start");
    if (status < 0xF0) {
      for (int i = (status >> 4 == 0xC || status >> 4 == 0xD) ? 1 : 2; i > 0; --i) {
        const std::uint8_t byte = take("the channel message");
        if (byte >= 0x80) fail("data byte " + hexByte(byte) + " of a channel message");
      }
    } else if (status == 0xF0 || status == 0xF7) {
      skip(quantity("the system-exclusive length"));
    } else if (status != 0xFF) {
      fail("status byte " + hexByte(status) + " is not an event of a MIDI file");
    } else {
      return meta();
    }
    return false;
  }

  bool meta() {
    const std::uint8_t type = take("the meta event");
    if (type >= 0x80) fail("meta event type " + hexByte(type) + " is not below 0x80");
    const std::span<const std::uint8_t> data = skip(quantity("the meta event's length"));
    for (const auto& [fixedType, length] : kFixedMetaLengths) {
      if (type == fixedType && data.size() != length) {
        fail("meta event " + hexByte(type) + " has length " + std::to_string(data.size()) +
             " instead of " + std::to_string(length));
      }
    }
    const auto sharps = static_cast<std::int8_t>(type == 0x59 ? data[0] : 0);
    if (type == 0x51 && data[0] == 0 && data[1] == 0 && data[2] == 0) fail("the tempo is 0");
    if (type == 0x20 && data[0] > 15) fail("channel prefix " + std::to_string(data[0]));
    if (sharps < -7 || sharps > 7) fail("key signature with " + std::to_string(sharps) + " sharps");
    if (type == 0x59 && data[1] > 1) fail("key signature mode " + std::to_string(data[1]));
    return type == 0x2F;
  }

  std::span<const std::uint8_t> file_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  std::size_t eventStart_ = 0;
  std::uint32_t track_ = 0;
};

}  // namespace

std::string smfDefect(std::span<const std::uint8_t> file) {
  try {
    Checker(file).run();
  } catch (const std::string& defect) {
    return defect;
  }
  return {};
}

}  // namespace koralux::test
