// XG parts and registration changes: off by default, when every output stays what it was before
// the option existed; on request, the backing arrangement, its set-up messages and the
// registration changes, read back by independent parsers.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/performance_info.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/xg_parts.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::performance;
using test::sameBytes;

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
  struct Shape {
    const char* name;
    GeneratorOptions options;
    bool rhythmUnitAbsent;
    bool legacyTiming;
    const char* digest;
  };
  GeneratorOptions demo;  // examples/demo.evt
  demo.seed = 2024;
  demo.seconds = 36;
  demo.tempo = 112;
  GeneratorOptions backing;  // channels 5, 6, 7 and 16 besides the organ's
  backing.seed = 3;
  backing.seconds = 20;
  backing.channels = 0xC077;
  GeneratorOptions loose;
  loose.seed = 7;
  loose.seconds = 15;
  loose.everyKind = true;
  loose.looseTiming = true;
  GeneratorOptions mono;
  mono.seed = 11;
  mono.seconds = 12;
  mono.pedalWithoutReleases = true;
  mono.rhythmUnit = false;
  mono.channels = 0x400F;
  const Shape shapes[] = {
      {"demo", demo, false, false,
       "b1bea9386246892e273281eaa88e62564ad04186dc58afd9ec5bdaa58c073de0"},
      {"demo, legacy", demo, false, true,
       "b1bea9386246892e273281eaa88e62564ad04186dc58afd9ec5bdaa58c073de0"},
      {"backing", backing, false, false,
       "9ff697635f5cdfbc432aae5ce2fe23ed899a5decca5eb8009190d37c39059b79"},
      {"loose", loose, false, false,
       "d32998d38ea95b78b7042f0f7a5b36ddaf4c1aaffaad99e8270840c1faf1fcfa"},
      {"loose, legacy", loose, false, true,
       "9753678fc5fe6e68b13e1f7fb299dc6146f2209075ac72586277f6ba028e3572"},
      {"mono", mono, false, false,
       "0d1997e155dcb503e6d501d500889aa9b26ead6d8c4f6842880a13ee2c4d8b0a"},
      {"mono, rhythm unit absent", mono, true, false,
       "89ff5715306707b25da1c8657c67a341e4434bb710f8b173d9fa1c2836d10092"},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    ConversionSettings settings;
    settings.rhythmUnitAbsent = shape.rhythmUnitAbsent;
    settings.legacyTiming = shape.legacyTiming;
    EXPECT_EQ(sha256(convert(generatePerformance(shape.options), settings)), shape.digest);
  }
}

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
  // Worked out by hand from the rules: the organ's track is the worked example's.
  Bytes expected =
      hex("'MThd' 00 00 00 06 00 01 00 04 01 E0"
          "'MTrk' 00 00 00 97  00 FF 01 54");
  expected.insert(expected.end(), kGeneratorText.begin(), kGeneratorText.end());
  const Bytes rest =
      hex("00 FF 51 03 06 A2 5E  00 FF 58 04 04 02 18 08  00 FF 59 02 00 00"
          "  00 FF 06 0E 'Registration 3'  8F 00 FF 06 0F 'Registration 16'  00 FF 2F 00"
          "\n 'MTrk' 00 00 00 2E  00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
          "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00  00 90 3C 2A  8F 00 80 3C 54  14 FF 2F 00"
          "\n 'MTrk' 00 00 00 29  00 FF 03 08 'XG Setup'  00 FF 21 01 00"
          "  00 F0 05 7E 7F 09 01 F7  00 F0 08 43 10 4C 00 00 7E 00 F7  8F 14 FF 2F 00"
          "\n 'MTrk' 00 00 00 36  00 FF 03 09 'XG Part 5'  00 FF 21 01 00  00 FF 20 01 04"
          "  00 B4 00 00  00 B4 20 00  00 C4 05  00 94 40 70  8F 00 E4 00 50  00 D4 30  00 84 40 20"
          "  14 FF 2F 00");
  expected.insert(expected.end(), rest.begin(), rest.end());
  const std::vector<std::string> calls = {
      "progressBegin 2", "status Status: Transcribing Lower Upper Notes",
      "partDone 1",      "status Status: Transcribing XG Setup",
      "partDone 0",      "status Status: Transcribing XG Part 5",
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
    EXPECT_EQ(result.summary.tracks, 4);
    EXPECT_EQ(result.summary.notesTranscribed, 2);
  }
}

// koralux-cli --info tells what --xg-parts would add, and what is left out without it.
TEST(XgInfo, ListsTheBackingAndTheRegistrations) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("xg.evt"), performance(kSmallXgPerformance));
  test::writeFile(folder.file("organ.evt"), performance(test::kOneNote));
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(cli::runInfoCommand({folder.file("xg.evt"), folder.file("organ.evt")}, false, false,
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
  ASSERT_EQ(cli::runInfoCommand({folder.file("xg.evt")}, true, false, json, err), 0);
  const auto file = nlohmann::json::parse(json.str())[0];
  EXPECT_EQ(file["xgChannels"],
            nlohmann::json::parse(R"([{"channel":5,"noteOns":1,"programChanges":1}])"));
  EXPECT_EQ(file["setupMessages"], 2);
  EXPECT_EQ(file["registrationChanges"],
            nlohmann::json::parse(R"([{"milliseconds":0,"registration":3},
      {"milliseconds":10,"registration":16}])"));
  EXPECT_EQ(file["xgTracks"],
            nlohmann::json::parse(R"([{"name":"XG Setup","channel":null,"notes":0},
      {"name":"XG Part 5","channel":5,"notes":1}])"));
  EXPECT_EQ(file["xgNotes"], 1);
}

TEST(XgOn, SetupMessagesAreTheToneGeneratorsOnly) {
  struct Case {
    const char* message;  // the bytes after F0
    bool setup;
  };
  const Case cases[] = {
      {"43 10 4C 00 00 7E 00 F7", true},     // XG System On
      {"43 13 4C 02 01 00 01 10 F7", true},  // XG parameter change, device 3
      {"7E 7F 09 01 F7", true},              // GM System On
      {"7F 7F 04 01 00 7F F7", true},        // master volume
      {"43 73 01 F7", false},                // the organ's own
      {"43 10 49 00 F7", false},             // another model
      {"41 10 42 12 F7", false},             // another maker
      {"43 10 4C 00 00 7E", false},          // cut off: no F7
      {"43 10 4C 80 F7", false},             // a status byte inside
      {"F7", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSetupMessage(hex(c.message)), c.setup) << c.message;
  }
}

// A message longer than the reader's limit is cut there, as the reader always cut it; cut, it is
// no set-up message and stays out.
TEST(XgOn, ReaderHandsOutTheMessageInPlace) {
  const Bytes input =
      performance("F0 43 10 4C 00 00 7E 00 F7  F0 43 10 4C " + test::repeat("00", 600));
  PerformanceReader reader(input, "song.evt");
  EXPECT_EQ(reader.next().kind, EventKind::SystemExclusive);
  EXPECT_EQ(reader.systemExclusive().data(), input.data() + 257);
  EXPECT_EQ(Bytes(reader.systemExclusive().begin(), reader.systemExclusive().end()),
            hex("43 10 4C 00 00 7E 00 F7"));
  EXPECT_EQ(reader.next().kind, EventKind::SystemExclusive);
  EXPECT_EQ(reader.systemExclusive().size(), kSystemExclusiveLimit);
  EXPECT_FALSE(isSetupMessage(reader.systemExclusive()));
}

TEST(XgOn, LongSetupMessageHasAMultiByteLength) {
  SmfWriter writer;
  writer.create();
  writer.beginTrack();
  const Bytes message(200, 0x00);
  writer.systemExclusive(message);
  const std::span<const std::uint8_t> bytes = writer.bytes();
  EXPECT_EQ(Bytes(bytes.begin() + 22, bytes.begin() + 26), hex("00 F0 81 48"));
  EXPECT_EQ(bytes.size(), 26u + message.size());
}

// The XG side of a MIDI file as one line per event, "TRACK|TICK|EVENT", EVENT one of "on C N V",
// "off C N V", "control C K V", "program C P", "pressure C V", "bend C V" (0 to 16383),
// "sysex B ..." (the bytes between F0 and F7, decimal) or "marker TEXT"; C is the channel 1 to 16.
// Only the conductor track's markers and the XG tracks are listed.
using Listing = std::vector<std::string>;

bool listed(const std::string& track) {
  return track == "conductor" || track.starts_with("XG ");
}

// Listed by midicsv.
Listing midicsvListing(const std::string& path) {
  const test::ProcessResult parsed = test::runProcess({"midicsv", path});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.err, "");
  Listing listing;
  std::map<std::string, std::string> names;  // by midicsv's track number
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) {
      fields.push_back(field.substr(field.find_first_not_of(' ')));
    }
    if (fields.size() < 3) continue;
    const std::string& type = fields[2];
    if (type == "Title_t") names[fields[0]] = fields[3].substr(1, fields[3].size() - 2);
    const std::string track = names.contains(fields[0]) ? names[fields[0]] : "conductor";
    const auto channel = [&] { return std::to_string(std::stoi(fields[3]) + 1); };
    std::string event;
    if (type == "Note_on_c") event = "on " + channel() + " " + fields[4] + " " + fields[5];
    if (type == "Note_off_c") event = "off " + channel() + " " + fields[4] + " " + fields[5];
    if (type == "Control_c") event = "control " + channel() + " " + fields[4] + " " + fields[5];
    if (type == "Program_c") event = "program " + channel() + " " + fields[4];
    if (type == "Channel_aftertouch_c") event = "pressure " + channel() + " " + fields[4];
    if (type == "Pitch_bend_c") event = "bend " + channel() + " " + fields[4];
    if (type == "Marker_t") event = "marker " + fields[3].substr(1, fields[3].size() - 2);
    if (type == "System_exclusive") {
      event = "sysex";
      for (std::size_t i = 4; i + 1 < fields.size(); ++i) event += " " + fields[i];  // F7 left out
    }
    if (!event.empty() && listed(track)) listing.push_back(track + "|" + fields[1] + "|" + event);
  }
  return listing;
}

// Listed by the Python library mido.
Listing midoListing(const std::string& path) {
  static constexpr const char* kScript = R"(
import sys, mido
for track in mido.MidiFile(sys.argv[1]).tracks:
    name, tick = "conductor", 0
    for m in track:
        tick += m.time
        c = str(m.channel + 1) if hasattr(m, "channel") else ""
        event = {"note_on": lambda: f"on {c} {m.note} {m.velocity}",
                 "note_off": lambda: f"off {c} {m.note} {m.velocity}",
                 "control_change": lambda: f"control {c} {m.control} {m.value}",
                 "program_change": lambda: f"program {c} {m.program}",
                 "aftertouch": lambda: f"pressure {c} {m.value}",
                 "pitchwheel": lambda: f"bend {c} {m.pitch + 8192}",
                 "sysex": lambda: " ".join(["sysex"] + [str(b) for b in m.data]),
                 "marker": lambda: f"marker {m.text}"}.get(m.type)
        if m.type == "track_name":
            name = m.name
        elif event and (name == "conductor" or name.startswith("XG ")):
            print(f"{name}|{tick}|{event()}")
)";
  const test::ProcessResult parsed = test::runProcess({"/usr/bin/python3", "-c", kScript, path});
  EXPECT_EQ(parsed.status, 0) << parsed.err << " (mido is in Debian's package python3-mido)";
  Listing listing;
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) listing.push_back(line);
  return listing;
}

// What the input holds for the XG side, by the track that is to carry it, in order; and for each
// registration change the tick it lands on when it coincides with a clock marker, or 0 before
// the clock has moved (with the song start, as in every part track); else -1.
struct XgInput {
  std::map<std::string, std::vector<std::string>> events;
  std::vector<std::int64_t> registrationTicks;
  std::size_t setupBeforeFirstNote = 0;  // set-up messages before the first note of the backing
};

XgInput readXgInput(const Bytes& performance) {
  XgInput input;
  const AnalysisResults analysis = test::analyse(performance);
  PerformanceReader reader(performance, "song.evt");
  std::int64_t clockTicks = 0;
  std::int64_t elapsed = 0;
  bool clockMoved = false;
  bool backingStruck = false;
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    const std::string c = std::to_string(e.channel) + " ";
    const std::string a = std::to_string(e.data1 & 0x7F);
    const std::string b = std::to_string(e.data2 & 0x7F);
    std::string event;
    switch (e.kind) {
      case EventKind::Timing:
        elapsed += e.channel;
        clockMoved = true;
        break;
      case EventKind::ClockMarker:
        clockTicks += 20;
        elapsed = 0;
        clockMoved = true;
        break;
      case EventKind::NoteOn:
        event = "on " + c + a + " " + b;
        break;
      case EventKind::NoteOff:
        event = "off " + c + a + " " + b;
        break;
      case EventKind::FootController:
      case EventKind::Expression:
      case EventKind::Sustain:
      case EventKind::AllNotesOff:
      case EventKind::Controller:
        event = "control " + c + a + " " + b;
        break;
      case EventKind::ProgramChange:
        event = "program " + c + a;
        break;
      case EventKind::ChannelPressure:
        event = "pressure " + c + a;
        break;
      case EventKind::PitchBend:
        event = "bend " + c + std::to_string((e.data1 & 0x7F) | (e.data2 & 0x7F) << 7);
        break;
      case EventKind::SystemExclusive:
        if (isSetupMessage(reader.systemExclusive())) {
          event = "sysex";
          const auto message = reader.systemExclusive();
          for (std::size_t i = 0; i + 1 < message.size(); ++i) {
            event += " " + std::to_string(message[i]);
          }
          input.events["XG Setup"].push_back(event);
          if (!backingStruck) ++input.setupBeforeFirstNote;
        }
        continue;
      default:
        break;
    }
    if (e.kind == EventKind::ProgramChange && e.channel == kRegistrationChannel) {
      input.events["conductor"].push_back("marker Registration " +
                                          std::to_string((e.data1 & 0x7F) + 1));
      input.registrationTicks.push_back(!clockMoved    ? 0
                                        : elapsed == 0 ? clockTicks - analysis.songStartOffset
                                                       : -1);
    } else if (!event.empty() && analysis.xg.played(e.channel, analysis.activity)) {
      backingStruck = backingStruck || e.kind == EventKind::NoteOn;
      input.events["XG Part " + std::to_string(e.channel)].push_back(event);
    }
  }
  return input;
}

// Converted with the option, the file is read by midicsv and by mido alike; every XG track holds
// its channel's events as played, in order, the set-up messages come before the first XG note,
// and each registration change is a marker at its tick.
TEST(XgOn, IndependentParsersReadTheBackingAsPlayed) {
  GeneratorOptions song;  // the organ's parts, a backing on 5, 6, 7 and 10, registrations
  song.seed = 3;
  song.seconds = 60;
  song.channels = kXgChannels;
  song.xg = true;
  GeneratorOptions everyKind = song;  // and every other kind of event, on every XG channel
  everyKind.seed = 5;
  everyKind.channels = 0xFFFF;
  everyKind.everyKind = true;
  everyKind.looseTiming = true;
  const std::pair<const char*, Bytes> inputs[] = {
      {"small", performance(kSmallXgPerformance)},
      {"song", generatePerformance(song)},
      {"every kind", generatePerformance(everyKind)},
  };
  // The song has all that is checked here.
  const XgInput songInput = readXgInput(inputs[1].second);
  for (const char* kind : {"on ", "program ", "bend ", "control "}) {
    EXPECT_TRUE(std::any_of(songInput.events.begin(), songInput.events.end(),
                            [&](const auto& track) {
                              return std::any_of(track.second.begin(), track.second.end(),
                                                 [&](const std::string& event) {
                                                   return event.starts_with(kind);
                                                 });
                            }))
        << kind;
  }
  EXPECT_GE(songInput.events.at("XG Setup").size(), 4u);
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
      EXPECT_EQ(midoListing(path), listing);

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
          if (lines[i].starts_with("on ")) firstNote = std::min(firstNote, ticks[track][i]);
        }
      }
      for (std::size_t i = 0; i < expected.setupBeforeFirstNote; ++i) {
        EXPECT_LE(ticks["XG Setup"].at(i), firstNote);
      }
    }
  }
}

}  // namespace
}  // namespace koralux
