#include "cli/audio_output.hpp"

#include <CLI/CLI.hpp>

#include "audio/sound_font.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"

namespace koralux::cli {

void addAudioOptions(CLI::App& app, AudioRequest& request) {
  app.add_option("--audio", request.format, "Also write audio (--soundfont FILE: other sounds)")
      ->type_name("wav|flac|ogg")
      ->check(CLI::IsMember({"wav", "flac", "ogg"}).description(""));
  // Described with --audio, so that the help keeps to one screen.
  app.add_option("--soundfont", request.soundFont, "General MIDI sound font for --audio")
      ->type_name("FILE")
      ->group("");
}

std::optional<std::string> audioUsageError(const AudioRequest& request, const std::string& output) {
  if (request.format.empty() && !request.soundFont.empty()) return "--soundfont requires --audio";
  if (!request.format.empty() && output == "-") {
    return "--audio is written beside the MIDI file, so it cannot go with -o -";
  }
  return std::nullopt;
}

AudioMaker::AudioMaker(const AudioRequest& request, bool xgBankSelect) {
  if (const auto why = audio::audioUnavailable()) throw FatalStop("--audio", *why);
  const auto soundFont = audio::soundFontToUse(request.soundFont);
  if (!soundFont) throw FatalStop("--audio", audio::noSoundFontMessage());
  audio::checkSoundFont(*soundFont);
  settings_ = {*soundFont, audio::formatNamed(request.format).value_or(audio::AudioFormat::Wav),
               xgBankSelect};
}

AudioMaker::~AudioMaker() = default;

std::optional<std::string> AudioMaker::refusal(const std::string& input,
                                               const std::string& midiPath) const {
  const std::string audioPath = audio::audioPathFor(midiPath, settings_.format);
  if (audioPath == midiPath || namesSameFile(audioPath, midiPath)) {
    return midiPath + ": not converted: its audio would have the MIDI file's name";
  }
  if (audioPath == input || namesSameFile(audioPath, input)) {
    return input + ": not converted: its audio " + audioPath + " would replace it";
  }
  return std::nullopt;
}

AudioMaker::Made AudioMaker::make(const std::string& midiPath,
                                  const std::function<void(double)>& progress) {
  std::unique_ptr<audio::AudioRenderer> renderer;
  {
    const std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      renderer = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  if (!renderer) renderer = std::make_unique<audio::AudioRenderer>(settings_);
  const std::string path = audio::audioPathFor(midiPath, settings_.format);
  const audio::RenderedAudio rendered = renderer->render(readWholeFile(midiPath), path, progress);
  {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(renderer));
  }
  writeFileAtomically(path, rendered.bytes);
  return {path, rendered.seconds};
}

}  // namespace koralux::cli
