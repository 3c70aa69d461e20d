// The audio interface of a build without FluidSynth: it makes no audio and says why.

#include "audio/audio_render.hpp"
#include "common/fatal_stop.hpp"

namespace koralux::audio {

std::optional<std::string> audioUnavailable() {
#if defined(_WIN32)
  return "this Windows program does not make audio files; koralux-cli on Linux makes them";
#else
  return "audio is not available in this build (it was built without FluidSynth)";
#endif
}

void checkSoundFont(const std::string&) {
  throw FatalStop("--audio", *audioUnavailable());
}

struct AudioRenderer::Synthesizer {};

AudioRenderer::AudioRenderer(const RenderSettings&) {
  throw FatalStop("--audio", *audioUnavailable());
}

AudioRenderer::~AudioRenderer() = default;

RenderedAudio AudioRenderer::render(std::span<const std::uint8_t>, const std::string&,
                                    const std::function<void(double)>&) {
  throw FatalStop("--audio", *audioUnavailable());
}

}  // namespace koralux::audio
