#pragma once
// Writes a Standard MIDI File (format 1, 480 ticks per quarter note) into memory.
// Callers work in absolute ticks: set the time, then write an event; the writer turns times
// into delta times, frames each track and patches its length, and patches the track count.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_buffer.hpp"
#include "common/timebase.hpp"
#include "smf/variable_length_quantity.hpp"

namespace koralux {

// The most bytes one channel message takes: a four-byte delta time, status and two data bytes.
inline constexpr std::size_t kLongestChannelEvent = 7;

class SmfWriter {
 public:
  // `label` names the performance in the error raised when a delta time does not fit.
  explicit SmfWriter(std::string label = {});

  // Starts a new file: the 14-byte header with a track count of 0.
  void create();
  void beginTrack();
  // Writes end of track (with its delta time) and patches the track's length.
  void endTrack();
  // Puts the tracks that `tracks` wrote after the tracks written here so far, and counts them.
  // `tracks` is a writer used for tracks alone (never created); its bytes are taken over, not
  // copied. Tracks begun here later come after them.
  void appendTracks(SmfWriter&& tracks);
  // Patches the track count and hands over the finished file.
  std::vector<std::uint8_t> finish();
  // The same file in the pieces it was written in (the header with the tracks written here,
  // then the tracks of each writer appended), without copying any of them.
  std::vector<ByteBuffer> finishInPieces();

  void resetClock() noexcept { current_ = last_ = 0; }
  // The time of the next event. A time below the last event's lowers the reference from which
  // the next delta is measured, so that event is written with delta 0 and every later event of
  // the track lands later by the size of the backward step.
  void setTime(Tick time) noexcept {
    current_ = time;
    if (time < last_) last_ = time;
  }
  // The time from which the next delta is measured: the last event's time, or a lower time set
  // since.
  Tick lastTime() const noexcept { return last_; }

  // Channel messages; channels 1 to 16, data bytes cut to 7 bits.
  void noteOn(int channel, int note, int velocity) {
    channelMessage(0x90, channel, note, velocity);
  }
  void noteOff(int channel, int note, int velocity) {
    channelMessage(0x80, channel, note, velocity);
  }
  void controlChange(int channel, int controller, int value) {
    channelMessage(0xB0, channel, controller, value);
  }
  void programChange(int channel, int program);
  void channelPressure(int channel, int value);
  // The bend's two data bytes as a MIDI message carries them: least significant 7 bits first.
  void pitchBend(int channel, int least, int most) { channelMessage(0xE0, channel, least, most); }
  // A system-exclusive event: F0, the length, then `message`, the bytes that followed F0 (its
  // closing F7 included).
  void systemExclusive(std::span<const std::uint8_t> message);

  // Meta events. Texts are shorter than 128 bytes (their length is written as one byte).
  void text(std::string_view text);
  void trackName(std::string_view name);
  void marker(std::string_view text);
  void tempo(std::int64_t beatsPerMinute);
  void timeSignature(std::uint8_t numerator, std::uint8_t denominator);
  void keySignature(std::int8_t sharpsFlats, std::uint8_t minor);
  void midiPort(std::uint8_t port);
  void channelPrefix(int channel);

  // Makes room for `bytes` more bytes, so that writing them moves nothing.
  void reserve(std::size_t bytes) { bytes_.reserve(bytes_.size() + bytes); }

  int trackCount() const noexcept { return trackCount_; }
  // The bytes written here since the file was created, or since tracks were last appended.
  std::span<const std::uint8_t> bytes() const noexcept { return bytes_.view(); }

 private:
  static constexpr std::size_t kLongestDelta = 4;

  // Writes the delta time from `last` to `current` at `out` and returns the end of it.
  std::uint8_t* putDelta(std::uint8_t* out);
  [[noreturn]] void pauseTooLong(Tick delta) const;
  void channelMessage(int base, int channel, int first, int second) {
    const auto status = static_cast<std::uint8_t>(base + ((channel - 1) & 0x0F));
    std::uint8_t* out = putDelta(bytes_.room(kLongestDelta + 3));
    out[0] = status;
    out[1] = static_cast<std::uint8_t>(first & 0x7F);
    out[2] = static_cast<std::uint8_t>(second & 0x7F);
    bytes_.keep(out + 3);
  }
  void channelMessage(int base, int channel, int first);
  void meta(std::uint8_t type, std::string_view data);
  ByteBuffer& firstPiece() noexcept { return pieces_.empty() ? bytes_ : pieces_.front(); }

  std::string label_;
  ByteBuffer bytes_;                // the bytes written here since the last appendTracks
  std::vector<ByteBuffer> pieces_;  // what came before them, in order
  std::size_t trackLengthPosition_ = 0;
  int trackCount_ = 0;
  Tick current_ = 0;
  Tick last_ = 0;
};

inline std::uint8_t* SmfWriter::putDelta(std::uint8_t* out) {
  // Delta times never go negative: setTime lowers `last` along with the time.
  const Tick delta = current_ - last_;
  if (delta > static_cast<Tick>(kLargestVariableLengthQuantity)) pauseTooLong(delta);
  last_ = current_;
  return putVariableLengthQuantity(out, static_cast<std::uint32_t>(delta));
}

}  // namespace koralux
