// The audio interface with FluidSynth, which plays the MIDI file, and libsndfile, which encodes
// what it plays.

#include "audio/audio_render.hpp"

#include <fluidsynth.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "common/fatal_stop.hpp"

namespace koralux::audio {

namespace {

// FluidSynth writes its warnings (a preset missing from the sound font, say) on standard error
// unless told not to; the program words its own failures.
void silenceFluidSynth() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
  });
}

template <typename T, void (*Delete)(T*)>
struct Deleter {
  void operator()(T* object) const noexcept { Delete(object); }
};
void deleteSettings(fluid_settings_t* settings) {
  delete_fluid_settings(settings);
}
void deleteSynth(fluid_synth_t* synth) {
  delete_fluid_synth(synth);
}
void deletePlayer(fluid_player_t* player) {
  delete_fluid_player(player);
}
using SettingsHandle = std::unique_ptr<fluid_settings_t, Deleter<fluid_settings_t, deleteSettings>>;
using SynthHandle = std::unique_ptr<fluid_synth_t, Deleter<fluid_synth_t, deleteSynth>>;
using PlayerHandle = std::unique_ptr<fluid_player_t, Deleter<fluid_player_t, deletePlayer>>;

// A file in memory that libsndfile writes to as to a file on disk (it goes back to fill in the
// WAV header's lengths).
struct MemoryFile {
  std::vector<std::uint8_t> bytes;
  sf_count_t position = 0;

  static MemoryFile& of(void* data) { return *static_cast<MemoryFile*>(data); }
  static sf_count_t length(void* data) { return static_cast<sf_count_t>(of(data).bytes.size()); }
  static sf_count_t seek(sf_count_t offset, int whence, void* data) {
    MemoryFile& file = of(data);
    const sf_count_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? file.position
                                                 : static_cast<sf_count_t>(file.bytes.size());
    if (base + offset < 0) return -1;
    file.position = base + offset;
    return file.position;
  }
  static sf_count_t read(void* into, sf_count_t count, void* data) {
    MemoryFile& file = of(data);
    const auto size = static_cast<sf_count_t>(file.bytes.size());
    const sf_count_t got = std::clamp<sf_count_t>(size - file.position, 0, count);
    if (got > 0) {
      std::memcpy(into, file.bytes.data() + file.position, static_cast<std::size_t>(got));
    }
    file.position += got;
    return got;
  }
  static sf_count_t write(const void* from, sf_count_t count, void* data) {
    MemoryFile& file = of(data);
    const auto end = static_cast<std::size_t>(file.position + count);
    if (end > file.bytes.size()) file.bytes.resize(end);
    std::memcpy(file.bytes.data() + file.position, from, static_cast<std::size_t>(count));
    file.position += count;
    return count;
  }
  static sf_count_t tell(void* data) { return of(data).position; }
};

int sndfileFormat(AudioFormat format) {
  switch (format) {
    case AudioFormat::Flac:
      return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFormat::Ogg:
      return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFormat::Wav:
      break;
  }
  return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// An encoder writing into a MemoryFile.
class Encoder {
 public:
  // `frames`: how many will be written, so that the file's memory is taken once.
  Encoder(AudioFormat format, std::size_t frames, const std::string& label) : label_(label) {
    // WAV: 4 bytes a frame; FLAC about half that, Ogg Vorbis about a tenth.
    const std::size_t perFrame = format == AudioFormat::Wav    ? 4
                                 : format == AudioFormat::Flac ? 2
                                                               : 1;
    memory_.bytes.reserve(frames * perFrame + 4096);
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = kChannels;
    info.format = sndfileFormat(format);
    io_ = {MemoryFile::length, MemoryFile::seek, MemoryFile::read, MemoryFile::write,
           MemoryFile::tell};
    file_ = sf_open_virtual(&io_, SFM_WRITE, &info, &memory_);
    if (file_ == nullptr) fail(sf_strerror(nullptr));
    // Loud passages are clipped rather than wrapped round into noise.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format == AudioFormat::Ogg) {
      double quality = 0.5;  // about 160 kbit/s for stereo
      sf_command(file_, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
  }
  ~Encoder() {
    if (file_ != nullptr) sf_close(file_);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  void write(const float* frames, sf_count_t count) {
    if (sf_writef_float(file_, frames, count) != count) fail(sf_strerror(file_));
  }
  std::vector<std::uint8_t> finish() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) fail(sf_error_number(closed));
    return std::move(memory_.bytes);
  }

 private:
  [[noreturn]] void fail(const char* why) const {
    throw FatalStop(label_, std::string("the audio cannot be encoded: ") + why);
  }

  std::string label_;
  MemoryFile memory_;
  SF_VIRTUAL_IO io_{};
  SNDFILE* file_ = nullptr;
};

// Frames played at a time. The MIDI file's events take effect on FluidSynth's blocks of 64
// frames (1.5 ms) whatever this is.
constexpr int kBlockFrames = 1024;
// Below this peak level (-80 dB) a block is silence.
constexpr float kSilence = 1e-4f;
// The loudest sample of a file, -1 dB, and the most it is raised to get there (+30 dB).
constexpr float kLoudest = 0.891f;
constexpr float kMostGain = 31.6f;

}  // namespace

std::optional<std::string> audioUnavailable() {
  return std::nullopt;
}

void checkSoundFont(const std::string& path) {
  silenceFluidSynth();
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    throw FatalStop::fromErrno(path, ENOENT);
  }
  if (fluid_is_soundfont(path.c_str()) == 0) {
    throw FatalStop(path, "not a sound font (SoundFont 2: .sf2 or .sf3)");
  }
}

struct AudioRenderer::Synthesizer {
  SettingsHandle settings;
  SynthHandle synth;
  AudioFormat format;
};

AudioRenderer::AudioRenderer(const RenderSettings& wanted)
    : synthesizer_(std::make_unique<Synthesizer>()) {
  silenceFluidSynth();
  Synthesizer& s = *synthesizer_;
  s.format = wanted.format;
  s.settings.reset(new_fluid_settings());
  if (!s.settings) throw FatalStop(wanted.soundFont, "the synthesizer cannot be started");
  fluid_settings_t* settings = s.settings.get();
  fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
  // Nothing else plays on it: no locks, no helper threads, no memory locked into RAM.
  fluid_settings_setint(settings, "synth.threadsafe-api", 0);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_settings_setint(settings, "synth.lock-memory", 0);
  // Only the samples of the instruments a song chooses are read, when it chooses them.
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  // The player's clock is the audio played, not the wall clock.
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_settings_setstr(settings, "synth.midi-bank-select", wanted.xgBankSelect ? "xg" : "gs");
  {
    // FluidSynth sets up tables that every synthesizer shares when the first one is made: with
    // -j, two threads must not make their first at once.
    static std::mutex creation;
    const std::lock_guard lock(creation);
    s.synth.reset(new_fluid_synth(settings));
  }
  if (!s.synth) throw FatalStop(wanted.soundFont, "the synthesizer cannot be started");
  if (fluid_synth_sfload(s.synth.get(), wanted.soundFont.c_str(), 1) == FLUID_FAILED) {
    checkSoundFont(wanted.soundFont);
    throw FatalStop(wanted.soundFont, "the sound font cannot be loaded");
  }
}

AudioRenderer::~AudioRenderer() = default;

RenderedAudio AudioRenderer::render(std::span<const std::uint8_t> midi, const std::string& label,
                                    const std::function<void(double)>& progress) {
  fluid_synth_t* synth = synthesizer_->synth.get();
  fluid_synth_system_reset(synth);
  PlayerHandle player(new_fluid_player(synth));
  if (!player || fluid_player_add_mem(player.get(), midi.data(), midi.size()) != FLUID_OK ||
      fluid_player_play(player.get()) != FLUID_OK) {
    throw FatalStop(label, "cannot be played: not a Standard MIDI File");
  }
  // The whole performance is kept until its loudest moment is known.
  std::vector<float> played;
  const double music = midiSeconds(midi);
  played.reserve(static_cast<std::size_t>((music + 1) * kSampleRate) * kChannels);
  float peak = 0;
  const auto play = [&] {
    const std::size_t at = played.size();
    played.resize(at + kBlockFrames * kChannels);
    float* block = played.data() + at;
    fluid_synth_write_float(synth, kBlockFrames, block, 0, kChannels, block, 1, kChannels);
    float blockPeak = 0;
    for (std::size_t i = 0; i < kBlockFrames * kChannels; ++i) {
      blockPeak = std::max(blockPeak, std::fabs(block[i]));
    }
    peak = std::max(peak, blockPeak);
    return blockPeak;
  };

  // Shares of the work reported: playing, then encoding.
  constexpr double kPlaying = 0.75;
  const auto report = [&](double share) {
    if (progress) progress(std::min(1.0, share));
  };
  const auto reportEvery = static_cast<std::size_t>(kSampleRate / 4 * kChannels);
  // The player itself waits after the last event until every note has died away, however long
  // a cymbal rings: the music ends with the file's last event, and the release is timed here.
  const auto musicSamples = static_cast<std::size_t>(music * kSampleRate) * kChannels;
  while (fluid_player_get_status(player.get()) == FLUID_PLAYER_PLAYING &&
         (music == 0 || played.size() < musicSamples)) {
    play();
    if (music > 0 && played.size() % reportEvery < kBlockFrames * kChannels) {
      report(kPlaying * static_cast<double>(played.size() / kChannels) / kSampleRate / music);
    }
  }
  // The release: until every voice has ended and the reverb is silent.
  const std::size_t end =
      (music > 0 ? musicSamples : played.size()) +
      static_cast<std::size_t>(kLongestReleaseSeconds * kSampleRate) * kChannels;
  while (played.size() + kBlockFrames * kChannels <= end) {
    if (play() < kSilence && fluid_synth_get_active_voice_count(synth) == 0) break;
  }

  // The loudest moment is made -1 dB, the rest in proportion, unless that would raise mere
  // noise by more than kMostGain.
  const float gain = peak > 0 ? std::min(kLoudest / peak, kMostGain) : 1.0f;
  const std::size_t frames = played.size() / kChannels;
  Encoder encoder(synthesizer_->format, frames, label);
  constexpr std::size_t kEncodedAtOnce = 1 << 16;
  for (std::size_t at = 0; at < frames; at += kEncodedAtOnce) {
    const std::size_t count = std::min(kEncodedAtOnce, frames - at);
    float* samples = played.data() + at * kChannels;
    for (std::size_t i = 0; i < count * kChannels; ++i) samples[i] *= gain;
    encoder.write(samples, static_cast<sf_count_t>(count));
    report(kPlaying +
           (1 - kPlaying) * static_cast<double>(at + count) / static_cast<double>(frames));
  }
  return {encoder.finish(), static_cast<double>(frames) / kSampleRate};
}

}  // namespace koralux::audio
