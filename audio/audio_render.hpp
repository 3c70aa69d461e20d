#pragma once
// Plays a Standard MIDI File on a General MIDI synthesizer (FluidSynth), faster than real time,
// into a WAV, FLAC or Ogg Vorbis file (libsndfile) held in memory, 44.1 kHz stereo. Builds
// without FluidSynth have the same interface and say why they cannot make audio.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/audio_file.hpp"

namespace koralux::audio {

// Why this build of the program makes no audio, or nothing when it does.
std::optional<std::string> audioUnavailable();

// Throws FatalStop, labelled with `path`, when the file there is not a sound font FluidSynth can
// load.
void checkSoundFont(const std::string& path);

struct RenderSettings {
  std::string soundFont;
  AudioFormat format = AudioFormat::Wav;
  // Bank selects are read as an XG tone generator reads them (bank 127 chooses a drum kit),
  // not as a General MIDI one, which ignores them.
  bool xgBankSelect = false;
};

struct RenderedAudio {
  std::vector<std::uint8_t> bytes;  // the whole audio file
  double seconds = 0;
};

// A synthesizer with its sound font loaded, which plays one MIDI file after another. One thread
// uses it at a time; several can be used side by side.
class AudioRenderer {
 public:
  // Loads the sound font; throws FatalStop, labelled with its path, when it cannot.
  explicit AudioRenderer(const RenderSettings& settings);
  ~AudioRenderer();
  AudioRenderer(const AudioRenderer&) = delete;
  AudioRenderer& operator=(const AudioRenderer&) = delete;

  // Plays `midi` from its start to its last event and then while the sound dies away (at most
  // kLongestReleaseSeconds), makes its loudest moment -1 dB (raising it by at most 30 dB) and
  // returns the encoded file. `progress` is called now and then
  // with the share of the music played so far (0 to 1). Throws FatalStop, labelled with `label`,
  // when `midi` cannot be played or the audio cannot be encoded.
  RenderedAudio render(std::span<const std::uint8_t> midi, const std::string& label,
                       const std::function<void(double)>& progress = {});

 private:
  struct Synthesizer;
  std::unique_ptr<Synthesizer> synthesizer_;
};

}  // namespace koralux::audio
