#pragma once
// Writes a Standard MIDI File (format 1, 480 ticks per quarter note) into memory.
// Callers work in absolute ticks: set the time, then write an event; the writer turns times
// into delta times, frames each track and patches its length, and patches the track count.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/timebase.hpp"

namespace koralux {

class SmfWriter {
 public:
  // `label` names the performance in the error raised when a delta time does not fit.
  explicit SmfWriter(std::string label = {});

  // Starts a new file: the 14-byte header with a track count of 0.
  void create();
  void beginTrack();
  // Writes end of track (with its delta time) and patches the track's length.
  void endTrack();
  // Patches the track count and hands over the finished file.
  std::vector<std::uint8_t> finish();

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
  void noteOn(int channel, int note, int velocity);
  void noteOff(int channel, int note, int velocity);
  void controlChange(int channel, int controller, int value);
  void programChange(int channel, int program);
  void channelPressure(int channel, int value);

  // Meta events. Texts are shorter than 128 bytes (their length is written as one byte).
  void text(std::string_view text);
  void trackName(std::string_view name);
  void tempo(std::int64_t beatsPerMinute);
  void timeSignature(std::uint8_t numerator, std::uint8_t denominator);
  void keySignature(std::int8_t sharpsFlats, std::uint8_t minor);
  void midiPort(std::uint8_t port);
  void channelPrefix(int channel);

  int trackCount() const noexcept { return trackCount_; }
  const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }

 private:
  void delta();
  void channelMessage(int base, int channel, int first, int second);
  void channelMessage(int base, int channel, int first);
  void meta(std::uint8_t type, std::string_view data);
  void put(std::uint8_t byte) { bytes_.push_back(byte); }
  void putBigEndian(std::size_t position, std::uint32_t value, int width);

  std::string label_;
  std::vector<std::uint8_t> bytes_;
  std::size_t trackLengthPosition_ = 0;
  int trackCount_ = 0;
  Tick current_ = 0;
  Tick last_ = 0;
};

}  // namespace koralux
