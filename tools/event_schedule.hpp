#pragma once
// Events waiting for their time. The composer adds a bar's events in any order; they are written
// in time order, with the rhythm unit's clock markers between them, until the performance has its
// length. When the player stops, every key still held is let go.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/beat_grid.hpp"
#include "tools/event_encoder.hpp"
#include "tools/seeded_random.hpp"

namespace koralux {

// What an event does, which decides its place among events of the same millisecond: the
// clock marker first, then a Marker (the alignment marker), releases, everything else, and
// note-ons last, so that a key released and struck again at the same moment is released first.
// A Reset puts a controller back where it rests (sustain up, pitch bend centred); like a
// release it is still sent when the performance ends early. A SystemExclusive has random
// contents, a SetupMessage the bytes it was given.
enum class Role : std::uint8_t {
  Marker,
  Release,
  Other,
  Reset,
  SystemExclusive,
  NoteOn,
  SetupMessage
};

// Where the performance stops: at a millisecond, or once the file holds a number of bytes.
struct PerformanceLength {
  std::int64_t endMs = 0;
  std::size_t targetBytes = 0;  // when not 0, replaces endMs

  bool reached(std::int64_t ms, std::size_t written) const noexcept {
    return targetBytes != 0 ? written >= targetBytes : ms >= endMs;
  }
};

class EventSchedule {
 public:
  // With `clockMarkers`, the rhythm unit's 24 per beat. With `looseTiming`, an event due at a
  // clock marker's millisecond goes before or after it at random, drawn from there; otherwise
  // the marker goes first.
  EventSchedule(const BeatGrid& grid, bool clockMarkers, Random* looseTiming,
                EventEncoder& encoder) noexcept;

  // Events of the same millisecond and role keep the order in which they were added.
  void add(std::int64_t ms, Role role, const Message& message);
  // F0, `payload` data bytes, F7.
  void addSystemExclusive(std::int64_t ms, std::uint16_t payload);
  // A system-exclusive message of the tone generator, F0 to F7 as given.
  void addSetupMessage(std::int64_t ms, std::vector<std::uint8_t> message);

  // Writes the clock markers and events before `limit`. Returns true when the performance has
  // reached its length.
  bool writeBefore(std::int64_t limit, const PerformanceLength& length);
  // Writes the releases and resets still waiting and forgets the rest.
  void finish();

 private:
  struct Scheduled {
    std::int64_t key = 0;        // millisecond × 4 + place among the millisecond's events
    std::uint32_t sequence = 0;  // order of adding within one bar
    Role role = Role::Other;
    Message message;
    // A system-exclusive message's length between F0 and F7, or a set-up message's index in
    // setupMessages_.
    std::uint32_t payload = 0;

    std::int64_t ms() const noexcept { return key >> 2; }
  };

  void push(std::int64_t ms, Role role, const Message& message, std::uint32_t payload);
  void sortPending();
  void write(const Scheduled& event);
  bool eventBeforeMarker() noexcept;
  void stepMarker() noexcept;
  std::size_t keyIndex(const Message& message) const noexcept {
    return static_cast<std::size_t>((message.bytes[0] & 0x0F) * 128 + message.bytes[1]);
  }

  const BeatGrid& grid_;
  bool clockMarkers_;
  Random* looseTiming_;
  EventEncoder& encoder_;

  std::vector<Scheduled> pending_;  // in time order up to sorted_, then the bar being composed
  std::vector<Scheduled> merged_;   // room for sorting, kept from bar to bar
  std::size_t sorted_ = 0;
  std::uint32_t sequence_ = 0;
  std::int64_t nextMarkerMs_;
  std::int64_t markerRemainder_;  // of the division in BeatGrid::msAt, for the next marker
  std::int64_t markerStep_;
  std::int64_t markerStepRemainder_;
  std::array<bool, 16 * 128> sounding_{};  // by channel and key
  std::vector<std::vector<std::uint8_t>> setupMessages_;
};

}  // namespace koralux
