#pragma once
// koralux-cli --audio: an audio file of each converted performance, made by playing the MIDI
// file the conversion wrote, put beside it under the same name with the audio extension.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_render.hpp"

namespace CLI {
class App;
}

namespace koralux::cli {

struct AudioRequest {
  std::string format;     // "wav", "flac" or "ogg"; empty: no audio
  std::string soundFont;  // --soundfont; empty: the best one installed
};

// Adds --audio and --soundfont to the command line.
void addAudioOptions(CLI::App& app, AudioRequest& request);

// What is wrong with the audio options for the rest of the command line, if anything. `output`
// is the value of -o.
std::optional<std::string> audioUsageError(const AudioRequest& request, const std::string& output);

// The audio of a call's conversions. Made once per call, when --audio is given; the sound font is
// loaded once per conversion that runs at a time and kept for the next file.
class AudioMaker {
 public:
  // Checks, before any file is touched, that this build makes audio and that the sound font is
  // there and loads; throws FatalStop with the message the user reads when not. `xgBankSelect`:
  // see audio::RenderSettings.
  AudioMaker(const AudioRequest& request, bool xgBankSelect);
  ~AudioMaker();

  const std::string& soundFont() const { return settings_.soundFont; }
  audio::AudioFormat format() const { return settings_.format; }

  // Why the audio of the conversion of `input` into `midiPath` must not be made, if so: its
  // name is that of the input or of the MIDI file.
  std::optional<std::string> refusal(const std::string& input, const std::string& midiPath) const;

  struct Made {
    std::string path;
    double seconds = 0;
  };
  // Plays the MIDI file at `midiPath` and puts its audio beside it, complete or not at all.
  // Throws FatalStop.
  Made make(const std::string& midiPath, const std::function<void(double)>& progress = {});

 private:
  audio::RenderSettings settings_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<audio::AudioRenderer>> idle_;  // loaded, not in use
};

}  // namespace koralux::cli
