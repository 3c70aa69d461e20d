#pragma once
// Composes the performance bar by bar: a song in a major key over four-bar chord progressions,
// with a part for each channel that plays (melody, lower-manual chords, pedal bass, a second
// upper voice, the rhythm unit's drums) and the expression pedal. Hands strike a little after
// the beat; every note and controller goes to the schedule at its millisecond.

#include <array>
#include <cstdint>
#include <vector>

#include "tools/beat_grid.hpp"
#include "tools/event_schedule.hpp"
#include "tools/other_events.hpp"
#include "tools/performance_generator.hpp"
#include "tools/seeded_random.hpp"

namespace koralux {

class MusicComposer {
 public:
  // Chooses the key and a part for each selected channel.
  MusicComposer(const GeneratorOptions& options, const BeatGrid& grid, Random& random,
                EventSchedule& schedule);

  void composeBar(std::int64_t bar);

 private:
  // A chord as pitch classes: root, third, fifth, seventh.
  using Chord = std::array<int, 4>;

  enum class PartRole { Melody, Chords, Bass, Pad, Drums };
  struct Part {
    int channel = 1;
    PartRole role = PartRole::Melody;
    int low = 60;  // register
    int high = 84;
    int note = 72;  // the melody's last note
    int velocity = 90;
    int style = 0;
    int density = 60;  // per cent of beats a melody plays
  };

  Part makePart(int channel);
  void beginning();
  Chord chordOn(int degree) const noexcept;
  const Chord& chordAt(std::int64_t position) const noexcept;
  int scaleStep(int note, int direction) const noexcept;

  void play(int channel, std::int64_t start, std::int64_t end, int note, int velocity, bool human,
            bool release = true);
  void melody(Part& part, std::int64_t barStart, bool lastBarOfPhrase);
  void playChord(const Part& part, std::int64_t start, std::int64_t end, int floor);
  void lowerChords(const Part& part, std::int64_t barStart);
  void pad(const Part& part, std::int64_t barStart);
  void pedal(const Part& part, std::int64_t barStart);
  void hit(const Part& part, std::int64_t position, int note, int velocity);
  void drums(const Part& part, std::int64_t barStart, bool phraseStart, bool phraseEnd);
  void expressionSwell(std::int64_t barStart);
  std::int64_t busyUntil(const Part& part) const noexcept;
  int humanJitter() noexcept { return random_.between(0, jitter_); }

  GeneratorOptions options_;
  const BeatGrid& grid_;
  Random& random_;
  EventSchedule& schedule_;
  int jitter_;  // the most milliseconds a hand lands after the beat

  std::vector<Part> parts_;
  std::array<std::int64_t, 16> busy_{};  // grid position each melody is free again
  int expressionChannel_ = 0;
  int expression_ = 100;
  int tonic_ = 0;
  int chordsPerBar_ = 1;
  std::array<int, 4> progression_{};  // scale degrees, one a bar
  std::array<Chord, 2> chords_{};     // the bar's first and second half
  OtherEvents otherEvents_;
};

}  // namespace koralux
