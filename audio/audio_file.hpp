#pragma once
// What koralux-cli --audio asks for: the kind of audio file, its name beside the MIDI file, and
// how long the music in a MIDI file lasts.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace koralux::audio {

enum class AudioFormat { Wav, Flac, Ogg };

// "wav", "flac" or "ogg": the name on the command line, which is also the file's extension.
std::string_view formatName(AudioFormat format);
std::optional<AudioFormat> formatNamed(std::string_view name);

// The audio file that goes with a MIDI file: the same name with the audio extension in place of
// the MIDI one ("song.mid" gives "song.flac"; "take" gives "take.flac").
std::string audioPathFor(const std::string& midiPath, AudioFormat format);

// The sample rate and channel count of every audio file made.
inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;

// After the last event of the MIDI file, the sound goes on while the notes release and the reverb
// dies away, for at most this long.
inline constexpr double kLongestReleaseSeconds = 4.0;

// Seconds from the start of a Standard MIDI File to its last event (the end of its longest
// track), by its tempo changes. A file that cannot be read as one lasts 0 seconds.
double midiSeconds(std::span<const std::uint8_t> midi);

// "3:07.5": minutes, seconds and tenths.
std::string durationText(double seconds);

}  // namespace koralux::audio
