// koralux-cli --audio, its files read back by independent tools: sox decodes every format and
// says its rate, channels and length, midicsv says when the MIDI file's notes start. The notes
// must be heard when the MIDI file strikes them, after silence, and the audio must end with the
// music and its release; failures leave nothing half-written.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::contains;

constexpr double kLongestRelease = 4.0;  // seconds of sound after the last event, at most

// midicsv's reading of a MIDI file: the seconds of each note struck, and of the end of the
// longest track, by the file's tempo changes.
struct MidiTimes {
  std::vector<double> notes;
  double end = 0;
};
MidiTimes readMidiTimes(const std::string& path) {
  const test::ProcessResult parsed = test::runProcess({"midicsv", path});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  double division = 480;
  std::map<std::int64_t, double> tempos = {{0, 500000}};  // tick -> microseconds per beat
  std::vector<std::int64_t> struck;
  std::int64_t end = 0;
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 2) {
      comma = line.find(", ", at);
      f.push_back(line.substr(at, comma - at));
    }
    const std::int64_t tick = std::stoll(f[1]);
    if (f[2] == "Header") division = std::stod(f[5]);
    if (f[2] == "Tempo") tempos[tick] = std::stod(f[3]);
    if (f[2] == "Note_on_c" && f[5] != "0") struck.push_back(tick);
    if (f[2] == "End_track") end = std::max(end, tick);
  }
  const auto seconds = [&](std::int64_t tick) {
    double total = 0;
    for (auto at = tempos.begin(); at != tempos.end() && at->first < tick; ++at) {
      const auto next = std::next(at);
      const std::int64_t until = next == tempos.end() ? tick : std::min(tick, next->first);
      total += static_cast<double>(until - at->first) * at->second / division / 1e6;
    }
    return total;
  };
  MidiTimes times;
  for (std::int64_t tick : struck) times.notes.push_back(seconds(tick));
  times.end = seconds(end);
  return times;
}

// sox's reading of an audio file.
struct Decoded {
  int rate = 0;
  int channels = 0;
  std::int64_t frames = 0;
  std::vector<float> mono;  // both channels mixed, -1 to 1
};
Decoded decode(const std::string& path) {
  const auto info = [&](const char* what) {
    const test::ProcessResult run = test::runProcess({"sox", "--i", what, path});
    EXPECT_EQ(run.status, 0) << path << ": " << run.err;
    return run.status == 0 ? std::stoll(run.out) : 0;
  };
  Decoded decoded{static_cast<int>(info("-r")), static_cast<int>(info("-c")), info("-s"), {}};
  const test::ProcessResult raw = test::runProcess(
      {"sox", path, "-t", "raw", "-e", "signed-integer", "-b", "16", "-c", "1", "-"});
  EXPECT_EQ(raw.status, 0) << raw.err;
  decoded.mono.resize(raw.out.size() / 2);
  for (std::size_t i = 0; i < decoded.mono.size(); ++i) {
    std::int16_t sample = 0;
    std::memcpy(&sample, raw.out.data() + 2 * i, 2);
    decoded.mono[i] = static_cast<float>(sample) / 32768.0f;
  }
  return decoded;
}

// The seconds at which sound starts after a lull: a millisecond whose peak is above -50 dB and
// far above every peak of the 50 milliseconds before it.
std::vector<double> onsets(const Decoded& audio) {
  const auto perMs = static_cast<std::size_t>(audio.rate / 1000);
  std::vector<float> peaks;
  for (std::size_t at = 0; at + perMs <= audio.mono.size(); at += perMs) {
    float peak = 0;
    for (std::size_t i = at; i < at + perMs; ++i) peak = std::max(peak, std::fabs(audio.mono[i]));
    peaks.push_back(peak);
  }
  std::vector<double> found;
  for (std::size_t ms = 0; ms < peaks.size(); ++ms) {
    float before = 0;
    for (std::size_t back = ms > 50 ? ms - 50 : 0; back < ms; ++back) {
      before = std::max(before, peaks[back]);
    }
    if (peaks[ms] > 0.003f && peaks[ms] > 10 * before)
      found.push_back(static_cast<double>(ms) / 1e3);
  }
  return found;
}

// Six strokes of the percussion (channel 15, drums in the MIDI file) a second apart (48 clock
// markers of 21 ms), each held for 6 markers, the last on a long-ringing cymbal.
test::Bytes spacedNotes() {
  std::string events = "F3 15 FE 78 FE 7A " + test::repeat("F3 15 FE 78", 11);
  for (const char* key : {"24", "26", "2A", "24", "26", "31"}) {
    events += std::string(" 9E ") + key + " 64 " + test::repeat("F3 15 FE 78", 6) + " 8E " + key +
              " 40 " + test::repeat("F3 15 FE 78", 42);
  }
  return test::performance(events);
}

TEST(Audio, NotesSoundWhenTheMidiFileStrikesThem) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), spacedNotes());
  const test::ProcessResult run = test::cli({"song.evt", "--audio", "wav"}, folder.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.out, " of audio to song.wav\n")) << run.out;

  const MidiTimes midi = readMidiTimes(folder.file("song.mid"));
  const Decoded audio = decode(folder.file("song.wav"));
  EXPECT_EQ(audio.rate, 44100);
  EXPECT_EQ(audio.channels, 2);
  const double seconds = static_cast<double>(audio.frames) / audio.rate;
  EXPECT_GE(seconds, midi.end);
  EXPECT_LE(seconds, midi.end + kLongestRelease);

  ASSERT_EQ(midi.notes.size(), 6u);
  const std::vector<double> heard = onsets(audio);
  std::string heardText;
  for (double at : heard) heardText += " " + std::to_string(at);
  ASSERT_EQ(heard.size(), midi.notes.size()) << "heard at" << heardText;
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_NEAR(heard[i], midi.notes[i], 0.020) << "note " << i;
  }
  const auto firstNote = static_cast<std::size_t>(midi.notes.front() * audio.rate);
  for (std::size_t i = 0; i < firstNote && i < audio.mono.size(); ++i) {
    ASSERT_LE(std::fabs(audio.mono[i]), 1e-4f) << "sound at " << i << " before the first note";
  }

  // --info foretells the name and the length (to a tenth of a second) of what was written.
  const test::ProcessResult info =
      test::cli({"--info", "song.evt", "--audio", "wav"}, folder.path());
  char length[32];
  std::snprintf(length, sizeof length, "%d:%04.1f", static_cast<int>(midi.end) / 60,
                std::fmod(midi.end, 60.0));
  EXPECT_TRUE(contains(info.out, "Audio:           song.wav\nAudio length:    " +
                                     std::string(length) + " and up to 4 s of release\n"))
      << info.out;
}

// The compressed formats hold the same audio as the WAV file, which their own tools accept.
TEST(Audio, EveryFormatDecodesToTheSameLength) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), generatePerformance({.seed = 5, .seconds = 12}));
  std::map<std::string, std::int64_t> frames;
  for (const char* format : {"wav", "flac", "ogg"}) {
    ASSERT_EQ(test::cli({"-q", "song.evt", "--audio", format}, folder.path()).status, 0);
    const std::string file = folder.file(std::string("song.") + format);
    const Decoded audio = decode(file);
    EXPECT_EQ(audio.rate, 44100);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_EQ(static_cast<std::int64_t>(audio.mono.size()), audio.frames) << format;
    frames[format] = audio.frames;
  }
  EXPECT_EQ(frames["flac"], frames["wav"]);
  EXPECT_EQ(frames["ogg"], frames["wav"]);
  EXPECT_EQ(test::runProcess({"flac", "-t", "-s", folder.file("song.flac")}).status, 0);
  EXPECT_EQ(test::runProcess({"ogginfo", "-q", folder.file("song.ogg")}).status, 0);
}

// Many files at a time, under another folder: each MIDI file gets its audio, an XG backing
// played with the XG bank selects too.
TEST(Audio, MadeForEveryFileOfABatch) {
  test::TemporaryFolder folder;
  fs::create_directories(folder.path() / "in" / "b");
  test::writeFile(folder.file("in/a.evt"),
                  generatePerformance({.seconds = 8, .channels = kXgChannels, .xg = true}));
  test::writeFile(folder.file("in/b/c.evt"), spacedNotes());
  const test::ProcessResult run =
      test::cli({"-r", "in", "--output-dir", "out", "-j", "2", "--audio", "flac", "--xg-parts"},
                folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.err, "Converted 2 of 2 files\n")) << run.err;
  for (const char* name : {"out/a", "out/b/c"}) {
    const Decoded audio = decode(folder.file(std::string(name) + ".flac"));
    const double end = readMidiTimes(folder.file(std::string(name) + ".mid")).end;
    EXPECT_GE(static_cast<double>(audio.frames) / audio.rate, end) << name;
    EXPECT_LE(static_cast<double>(audio.frames) / audio.rate, end + kLongestRelease) << name;
  }
}

TEST(Audio, FailuresSayWhyAndLeaveNothingHalfWritten) {
  struct Fault {
    std::vector<std::string> arguments;
    std::string message;            // after "koralux-cli: "
    std::vector<std::string> left;  // the folder's files afterwards
    std::uint64_t fileSizeLimit = 0;
  };
  const std::vector<std::string> inputs = {"cut.evt", "full.evt", "full.wav", "long.evt",
                                           "song.evt"};
  const auto plus = [&](std::vector<std::string> more) {
    more.insert(more.end(), inputs.begin(), inputs.end());
    std::sort(more.begin(), more.end());
    return more;
  };
  const Fault faults[] = {
      {{"song.evt", "--soundfont", "gone.sf2"}, "gone.sf2: No such file or directory", inputs},
      {{"song.evt", "--soundfont", "song.evt"},
       "song.evt: not a sound font (SoundFont 2: .sf2 or .sf3)",
       inputs},
      {{"cut.evt"},
       "cut.evt: the file ends inside a system-exclusive message (it starts at byte 259 and has "
       "no end byte F7)",
       inputs},
      // The MIDI file is complete, its audio is not there at all.
      {{"long.evt"}, "long.wav: File too large", plus({"long.mid"}), 200000},
      {{"full.evt"}, "full.wav: No space left on device", plus({"full.mid"})},
      {{"song.evt", "-o", "song.wav"},
       "song.wav: not converted: its audio would have the MIDI file's name",
       inputs},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    test::TemporaryFolder folder;
    test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
    test::writeFile(folder.file("cut.evt"), test::performance(test::kEndsInSystemExclusive));
    test::writeFile(folder.file("long.evt"), generatePerformance({.seconds = 20}));
    fs::create_symlink("/dev/full", folder.path() / "full.wav");
    test::writeFile(folder.file("full.evt"), test::performance(test::kOneNote));
    std::vector<std::string> arguments = fault.arguments;
    arguments.insert(arguments.end(), {"-q", "--audio", "wav"});
    const test::ProcessResult run = test::cli(arguments, folder.path(), fault.fileSizeLimit);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "koralux-cli: " + fault.message + "\n");
    EXPECT_EQ(folder.entries(), fault.left);
  }
}

}  // namespace
}  // namespace koralux
