// XG parts and registration changes: off by default, when every output stays what it was before
// the option existed; on request, the backing arrangement, its set-up messages and the
// registration changes, read back by independent parsers.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/performance_info.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/xg_activity.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::performance;
using test::sameBytes;

// sha256sum and midicsv are Linux programs: the tests that use them are left out of the
// Windows build, whose outputs scripts/windows-identity.sh compares with the Linux build's.
#if !defined(_WIN32)
std::string sha256(const Bytes& bytes) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("file"), bytes);
  const test::ProcessResult result = test::runProcess({"sha256sum", folder.file("file")});
  EXPECT_EQ(result.status, 0) << result.err;
  return result.out.substr(0, 64);
}

Bytes convert(const Bytes& performance, const ConversionSettings& settings) {
  SilentObserver observer;
  return convertPerformance(performance, settings, observer).midi;
}

// Digests of outputs taken before the option existed: without it nothing may change.
TEST(XgOff, OutputsAreUnchanged) {
  const GeneratorOptions demo{.seed = 2024, .seconds = 36, .tempo = 112};  // examples/demo.evt
  const GeneratorOptions backing{.seed = 3, .seconds = 20, .channels = 0xC077};  // 5, 6, 7, 16
  const GeneratorOptions loose{.seed = 7, .seconds = 15, .everyKind = true, .looseTiming = true};
  const GeneratorOptions mono{.seed = 11,
                              .seconds = 12,
                              .rhythmUnit = false,
                              .channels = 0x400F,
                              .pedalWithoutReleases = true};
  const std::tuple<GeneratorOptions, bool, bool, const char*> shapes[] = {
      // options, rhythm unit absent, legacy timing, sha256 of the output
      {demo, false, false, "b1bea9386246892e273281eaa88e62564ad04186dc58afd9ec5bdaa58c073de0"},
      {backing, false, false, "9ff697635f5cdfbc432aae5ce2fe23ed899a5decca5eb8009190d37c39059b79"},
      {loose, false, false, "d32998d38ea95b78b7042f0f7a5b36ddaf4c1aaffaad99e8270840c1faf1fcfa"},
      {loose, false, true, "9753678fc5fe6e68b13e1f7fb299dc6146f2209075ac72586277f6ba028e3572"},
      {mono, false, false, "0d1997e155dcb503e6d501d500889aa9b26ead6d8c4f6842880a13ee2c4d8b0a"},
      {mono, true, false, "89ff5715306707b25da1c8657c67a341e4434bb710f8b173d9fa1c2836d10092"},
  };
  for (const auto& [options, rhythmUnitAbsent, legacyTiming, digest] : shapes) {
    ConversionSettings settings;
    settings.rhythmUnitAbsent = rhythmUnitAbsent;
    settings.legacyTiming = legacyTiming;
    EXPECT_EQ(sha256(convert(generatePerformance(options), settings)), digest)
        << "seed " << options.seed << (legacyTiming ? ", legacy" : "");
  }
}
#endif

// test::kOneNote with a backing part on channel 5, set-up messages and two registration changes.
// The clock: the tempo is 138, so the interval starts at 60000 / 138 = 434 ms, and 10 ms give
// (10 x 480) / (434 x 24) = 0 ticks; the clock marker gives 20, the last one 40. The alignment
// marker after the first clock marker makes the song-start offset 20 - 1920 = -1900, so the
// events before the first clock marker land at 0 and those at tick 20 at 1920.
constexpr const char* kSmallXgPerformance =
    "F0 7E 7F 09 01 F7             # GM System On (universal)"
    "\n F0 43 10 4C 00 00 7E 00 F7  # XG System On"
    "\n F0 43 73 01 F7              # the organ's own: left out"
    "\n B5 07 64                    # channel 6 plays no note: no track"
    "\n B4 00 00  B4 20 00  C4 05   # bank select 0/32, program 5 on channel 5"
    "\n CF 02                       # registration 3"
    "\n 90 3C 64  94 40 70          # the upper manual and the backing strike"
    "\n F3 0A  FE 78"
    "\n E4 00 50  D4 30             # pitch bend, channel pressure"
    "\n CF 0F                       # registration 16"
    "\n 84 40 20  80 3C 40  FE 7A  FE 78";

TEST(XgOn, SmallPerformanceByteForByteInBothTimingModes) {
  // Worked out by hand from the rules: the organ's track is the worked example's. The set-up
  // messages come first, so that a player meets them before the organ parts' own set-up at tick 0.
  Bytes expected =
      hex("'MThd' 00 00 00 06 00 01 00 04 01 E0"
          "'MTrk' 00 00 00 97  00 FF 01 54");
  expected.insert(expected.end(), kGeneratorText.begin(), kGeneratorText.end());
  const Bytes rest =
      hex("00 FF 51 03 06 A2 5E  00 FF 58 04 04 02 18 08  00 FF 59 02 00 00"
          "  00 FF 06 0E 'Registration 3'  8F 00 FF 06 0F 'Registration 16'  00 FF 2F 00"
          "\n 'MTrk' 00 00 00 29  00 FF 03 08 'XG Setup'  00 FF 21 01 00"
          "  00 F0 05 7E 7F 09 01 F7  00 F0 08 43 10 4C 00 00 7E 00 F7  8F 14 FF 2F 00"
          "\n 'MTrk' 00 00 00 2E  00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
          "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00  00 90 3C 2A  8F 00 80 3C 54  14 FF 2F 00"
          "\n 'MTrk' 00 00 00 36  00 FF 03 09 'XG Part 5'  00 FF 21 01 00  00 FF 20 01 04"
          "  00 B4 00 00  00 B4 20 00  00 C4 05  00 94 40 70  8F 00 E4 00 50  00 D4 30  00 84 40 20"
          "  14 FF 2F 00");
  expected.insert(expected.end(), rest.begin(), rest.end());
  const std::vector<std::string> calls = {
      "progressBegin 2", "status Status: Transcribing XG Setup",
      "partDone 0",      "status Status: Transcribing Lower Upper Notes",
      "partDone 1",      "status Status: Transcribing XG Part 5",
      "partDone 1",      "status Status: Finished"};
  for (const bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "in step");
    ConversionSettings settings;
    settings.xgParts = true;
    settings.legacyTiming = legacy;
    test::RecordingObserver observer;
    const ConversionResult result =
        convertPerformance(performance(kSmallXgPerformance), settings, observer);
    EXPECT_TRUE(sameBytes(expected, result.midi));
    EXPECT_EQ(observer.calls, calls);
  }
}

// The organ's percussion, moved onto channel 10, shares it with the backing's drums: with the
// backing on, the organ's track leaves the channel's program, volume and pan to the drum kit the
// arrangement set. Expression on a backing channel drives that part only, not the organ's volume.
TEST(XgOn, DrumsAndBackingExpressionBelongToTheBacking) {
  const Bytes input = performance(
      "F0 43 10 4C 00 00 7E 00 F7  90 3C 64  9E 24 64  99 24 64  B9 07 50  C9 19"
      "  B0 0B 40  B4 0B 51  94 40 70  F3 0A  FE 78  80 3C 40  8E 24 40  89 24 40  84 40 40");
  // The track named `name`, as hex.
  const auto track = [](const Bytes& midi, const std::string& name) {
    const std::string meta = "\xFF\x03" + std::string(1, static_cast<char>(name.size())) + name;
    const Bytes title(meta.begin(), meta.end());
    for (const Bytes& body : test::trackBodies(midi)) {
      if (test::contains(test::toHex(body), test::toHex(title))) return test::toHex(body);
    }
    return std::string("none");
  };
  struct Case {
    bool xgParts;
    const char* name;
    const char* present;
    const char* absent;  // "-" for nothing
  };
  const Case cases[] = {
      {false, "Percussion", "00 C9", "-"},
      {false, "Upper", "00 B0 07 51", "-"},
      {true, "Percussion", "00 99 24", "00 C9"},
      {true, "Percussion", "00 99 24", "00 B9 07"},
      {true, "Percussion", "00 99 24", "00 B9 0A"},
      {true, "Upper", "00 B0 07 40", "00 B0 07 51"},
      {true, "XG Part 5", "00 B4 0B 51", "-"},
      {true, "XG Part 10", "00 B9 07 50 00 C9 19", "-"},
  };
  for (const Case& c : cases) {
    ConversionSettings settings;
    settings.xgParts = c.xgParts;
    SilentObserver silent;
    const std::string text = track(convertPerformance(input, settings, silent).midi, c.name);
    EXPECT_TRUE(test::contains(text, c.present)) << c.name << " " << c.xgParts << ": " << text;
    EXPECT_FALSE(test::contains(text, c.absent)) << c.name << ": " << text;
  }
}

// koralux-cli --info tells what --xg-parts would add, and what is left out without it.
TEST(XgInfo, ListsTheBackingAndTheRegistrations) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("xg.evt"), performance(kSmallXgPerformance));
  test::writeFile(folder.file("organ.evt"), performance(test::kOneNote));
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(cli::runInfoCommand({folder.file("xg.evt"), folder.file("organ.evt")}, {}, false, false,
                                out, err),
            0);
  const std::string text = out.str();
  EXPECT_TRUE(test::contains(text,
                             "XG channels:     5\n"
                             "Registrations:   2 changes\n"
                             "  0.000 s        Registration 3\n"
                             "  0.010 s        Registration 16\n"
                             "With --xg-parts: 4 tracks, 2 of 2 notes\n"
                             "  XG Setup    2 set-up messages\n"
                             "  XG Part 5   from channel 5                     1 note\n"
                             "  2 markers in the conductor track\n"
                             "1 note on channels 5–14 is left out; add --xg-parts to keep it\n"))
      << text;
  EXPECT_FALSE(test::contains(text.substr(text.find("File:", 1)), "XG")) << "organ.evt has none";

  std::ostringstream json;
  ASSERT_EQ(cli::runInfoCommand({folder.file("xg.evt")}, {}, true, false, json, err), 0);
  const auto file = nlohmann::json::parse(json.str())[0];
  const auto expected = nlohmann::json::parse(R"({
      "xgChannels": [{"channel": 5, "noteOns": 1, "programChanges": 1}], "setupMessages": 2,
      "registrationChanges": [{"milliseconds": 0, "registration": 3},
                              {"milliseconds": 10, "registration": 16}],
      "xgTracks": [{"name": "XG Setup", "channel": null, "notes": 0},
                   {"name": "XG Part 5", "channel": 5, "notes": 1}], "xgNotes": 1})");
  for (const auto& [key, value] : expected.items()) EXPECT_EQ(file[key], value) << key;
}

TEST(XgOn, SetupMessagesAreTheToneGeneratorsOnly) {
  const std::pair<const char*, bool> cases[] = {
      // the bytes after F0, and whether set-up
      {"43 10 4C 00 00 7E 00 F7", true},     // XG System On
      {"43 13 4C 02 01 00 01 10 F7", true},  // XG parameter change, device 3
      {"7E 7F 09 01 F7", true},              // GM System On
      {"43 73 01 F7", false},                // the organ's own
      {"43 10 49 00 F7", false},             // another model
      {"43 10 4C 00 00 7E", false},          // cut off: no F7
      {"43 10 4C 80 F7", false},             // a status byte inside
      {"F7", false},
  };
  for (const auto& [message, setup] : cases)
    EXPECT_EQ(isSetupMessage(hex(message)), setup) << message;
}

#if !defined(_WIN32)
// The XG side of a MIDI file as one line per event, "TRACK|TICK|EVENT", the event as midicsv
// writes it ("Note_on_c, 4, 64, 112": channels from 0). Only the conductor track's markers and the
// XG tracks' channel and system-exclusive events are listed.
using Listing = std::vector<std::string>;

Listing midicsvListing(const std::string& path) {
  const test::ProcessResult parsed = test::runProcess({"midicsv", path});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.err, "");
  const std::string kListed =
      " Note_on_c Note_off_c Control_c Program_c Channel_aftertouch_c Pitch_bend_c "
      "System_exclusive Marker_t ";
  Listing listing;
  std::map<std::string, std::string> names;  // by midicsv's track number
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tick = line.find(", ") + 2;
    const std::size_t event = line.find(", ", tick) + 2;
    const std::string number = line.substr(0, tick - 2);
    const std::string type = line.substr(event, line.find(',', event) - event);
    if (type == "Title_t") names[number] = line.substr(event + 10, line.size() - event - 11);
    const std::string track = names.contains(number) ? names[number] : "conductor";
    if (test::contains(kListed, " " + type + " ") &&
        (track == "conductor" ? type == "Marker_t" : track.starts_with("XG "))) {
      listing.push_back(track + "|" + line.substr(tick, event - tick - 2) + "|" +
                        line.substr(event));
    }
  }
  return listing;
}

// What the input holds for the XG side, by the track that is to carry it, in order; and for each
// registration change the tick it lands on when it coincides with a clock marker, or 0 before
// the first timing event (with the song start, as in every part track); else -1.
struct XgInput {
  std::map<std::string, std::vector<std::string>> events;
  std::vector<std::int64_t> registrationTicks;
  std::size_t setupBeforeFirstNote = 0;  // set-up messages before the first note of the backing
};

// A channel event of the input as midicsv lists it, data bytes cut to 7 bits as the writer cuts
// them; empty for any other event.
std::string listed(const PerformanceEvent& e) {
  const std::string one =
      ", " + std::to_string(e.channel - 1) + ", " + std::to_string(e.data1 & 0x7F);
  const std::string two = one + ", " + std::to_string(e.data2 & 0x7F);
  if (e.kind == EventKind::NoteOn) return "Note_on_c" + two;
  if (e.kind == EventKind::NoteOff) return "Note_off_c" + two;
  if (e.kind >= EventKind::FootController && e.kind <= EventKind::Controller)
    return "Control_c" + two;
  if (e.kind == EventKind::ProgramChange) return "Program_c" + one;
  if (e.kind == EventKind::ChannelPressure) return "Channel_aftertouch_c" + one;
  if (e.kind != EventKind::PitchBend) return {};
  return "Pitch_bend_c, " + std::to_string(e.channel - 1) + ", " +
         std::to_string((e.data1 & 0x7F) | (e.data2 & 0x7F) << 7);
}

XgInput readXgInput(const Bytes& performance) {
  XgInput input;
  const AnalysisResults analysis = test::analyse(performance);
  PerformanceReader reader(performance, "song.evt");
  std::int64_t clockTicks = 0;
  std::int64_t elapsed = -1;  // milliseconds since the last clock marker; -1 before any timing
  bool backingStruck = false;
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    if (e.kind == EventKind::Timing)
      elapsed = std::max<std::int64_t>(elapsed, 0) + e.milliseconds();
    if (e.kind == EventKind::ClockMarker) {
      clockTicks += 20;
      elapsed = 0;
    }
    if (e.kind == EventKind::SystemExclusive && isSetupMessage(reader.systemExclusive())) {
      const auto message = reader.systemExclusive();
      std::string event = "System_exclusive, " + std::to_string(message.size());
      for (const std::uint8_t byte : message) event += ", " + std::to_string(byte);
      input.events["XG Setup"].push_back(event);
      if (!backingStruck) ++input.setupBeforeFirstNote;
    }
    if (e.kind == EventKind::ProgramChange && e.channel == kRegistrationChannel) {
      input.events["conductor"].push_back("Marker_t, \"Registration " +
                                          std::to_string((e.data1 & 0x7F) + 1) + "\"");
      input.registrationTicks.push_back(elapsed < 0    ? 0
                                        : elapsed == 0 ? clockTicks - analysis.songStartOffset
                                                       : -1);
    }
    if (!analysis.xg.played(e.channel, analysis.activity)) continue;
    const std::string event = listed(e);
    if (event.empty()) continue;
    backingStruck = backingStruck || e.kind == EventKind::NoteOn;
    input.events["XG Part " + std::to_string(e.channel)].push_back(event);
  }
  return input;
}

// Converted with the option, the file is read by midicsv; every XG track holds
// its channel's events as played, in order, the set-up messages come before the first XG note,
// and each registration change is a marker at its tick.
TEST(XgOn, IndependentParsersReadTheBackingAsPlayed) {
  // The organ's parts, a backing on 5, 6, 7 and 10, registrations; then every other kind of
  // event too, on every channel.
  const GeneratorOptions song{.seed = 3, .seconds = 60, .channels = kXgChannels, .xg = true};
  const GeneratorOptions everyKind{.seed = 5,
                                   .seconds = 60,
                                   .channels = 0xFFFF,
                                   .everyKind = true,
                                   .looseTiming = true,
                                   .xg = true};
  const std::pair<const char*, Bytes> inputs[] = {
      {"small", performance(kSmallXgPerformance)},
      {"song", generatePerformance(song)},
      {"every kind", generatePerformance(everyKind)},
  };
  // The song has all that is checked here.
  const XgInput songInput = readXgInput(inputs[1].second);
  std::string songEvents = "\n";
  for (const auto& track : songInput.events) {
    for (const std::string& event : track.second) songEvents += event + "\n";
  }
  for (const char* kind :
       {"\nNote_on_c", "\nProgram_c", "\nPitch_bend_c", "\nControl_c", "\nSystem_exclusive"}) {
    EXPECT_TRUE(test::contains(songEvents, kind)) << kind;
  }
  EXPECT_GE(std::count_if(songInput.registrationTicks.begin(), songInput.registrationTicks.end(),
                          [](std::int64_t tick) { return tick > 0; }),
            2);
  for (const auto& [name, input] : inputs) {
    for (const bool legacy : {false, true}) {
      SCOPED_TRACE(std::string(name) + (legacy ? ", legacy" : ""));
      ConversionSettings settings;
      settings.xgParts = true;
      settings.legacyTiming = legacy;
      const Bytes midi = convert(input, settings);
      ASSERT_TRUE(test::isStrictMidiFile(midi));
      test::TemporaryFolder folder;
      const std::string path = folder.file("song.mid");
      test::writeFile(path, midi);
      const Listing listing = midicsvListing(path);

      const XgInput expected = readXgInput(input);
      std::map<std::string, std::vector<std::string>> events;
      std::map<std::string, std::vector<std::int64_t>> ticks;
      for (const std::string& line : listing) {
        const std::size_t bar = line.find('|');
        const std::size_t second = line.find('|', bar + 1);
        const std::string track = line.substr(0, bar);
        events[track].push_back(line.substr(second + 1));
        ticks[track].push_back(std::stoll(line.substr(bar + 1, second - bar - 1)));
      }
      EXPECT_EQ(events, expected.events);
      ASSERT_EQ(ticks["conductor"].size(), expected.registrationTicks.size());
      for (std::size_t i = 0; i < expected.registrationTicks.size(); ++i) {
        // (The legacy timing lets times that overshoot a clock marker displace what follows.)
        if (expected.registrationTicks[i] >= 0 && !legacy) {
          EXPECT_EQ(ticks["conductor"][i], expected.registrationTicks[i]) << "registration " << i;
        }
      }
      std::int64_t firstNote = std::numeric_limits<std::int64_t>::max();
      for (const auto& [track, lines] : events) {
        for (std::size_t i = 0; track.starts_with("XG Part") && i < lines.size(); ++i) {
          if (lines[i].starts_with("Note_on_c")) firstNote = std::min(firstNote, ticks[track][i]);
        }
      }
      for (std::size_t i = 0; i < expected.setupBeforeFirstNote; ++i) {
        EXPECT_LE(ticks["XG Setup"].at(i), firstNote);
      }
    }
  }
}
#endif

}  // namespace
}  // namespace koralux
