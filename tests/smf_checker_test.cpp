// The strict MIDI file checker itself: it accepts what this program writes, and refuses each
// broken file (named after its defect) for that defect.

#include "tests/smf_checker.hpp"

#include <gtest/gtest.h>

#include "engine/conversion_run.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux::test {
namespace {

// A track chunk around `events`, its length counted.
Bytes track(std::string_view events) {
  const Bytes body = hex(events);
  Bytes chunk = hex("'MTrk'");
  for (int shift = 24; shift >= 0; shift -= 8) {
    chunk.push_back(static_cast<std::uint8_t>(body.size() >> shift));
  }
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kHeader = hex("'MThd' 00 00 00 06  00 01  00 02  01 E0");
const Bytes kConductor = track("00 FF 51 03 07 A1 20  00 FF 2F 00");
constexpr const char* kPartEvents =
    "00 FF 03 05 'Upper'  00 C0 30  00 90 3C 2A  83 60 80 3C 54  00 FF 2F 00";

// A sound two-track file whose part track holds `events`.
Bytes withPart(std::string_view events) {
  return join({kHeader, kConductor, track(events)});
}

TEST(SmfChecker, AcceptsSoundFiles) {
  EXPECT_EQ(smfDefect(withPart(kPartEvents)), "");
  // The writer's smallest file: one empty track.
  SmfWriter writer;
  writer.create();
  writer.beginTrack();
  writer.endTrack();
  EXPECT_EQ(smfDefect(writer.finish()), "");
  // The longest delta time, a system-exclusive event, an empty text, an escape, a long name.
  EXPECT_EQ(smfDefect(withPart("FF FF FF 7F C0 30  00 F0 03 7E 01 F7  00 FF 01 00  00 F7 01 F8"
                               "  00 FF 03 81 00 " +
                               std::string(256, '0') + "  00 FF 2F 00")),
            "");
}

TEST(SmfChecker, AcceptsWhatTheConverterWrites) {
  SilentObserver observer;
  EXPECT_TRUE(isStrictMidiFile(
      convertPerformance(performance("90 3C 64 F3 0A FE 78 80 3C 40 FE 7A FE 78"), {}, observer)
          .midi));
  GeneratorOptions options;
  options.seconds = 20;
  options.everyKind = true;
  options.channels = 0xFFFF;
  EXPECT_TRUE(
      isStrictMidiFile(convertPerformance(generatePerformance(options), {}, observer).midi));
}

struct Broken {
  std::string name;  // the defect
  Bytes file;
  std::string reason;  // part of the checker's answer
};

void PrintTo(const Broken& broken, std::ostream* out) {
  *out << broken.name;
}

class SmfCheckerRefuses : public ::testing::TestWithParam<Broken> {};

TEST_P(SmfCheckerRefuses, TheBrokenFileForItsDefect) {
  const std::string defect = smfDefect(GetParam().file);
  EXPECT_NE(defect.find(GetParam().reason), std::string::npos) << "answer: \"" << defect << '"';
}

Bytes lastChunkLengthChanged(int by) {
  Bytes file = withPart(kPartEvents);
  const std::size_t lengthLowByte = kHeader.size() + kConductor.size() + 7;
  file[lengthLowByte] = static_cast<std::uint8_t>(file[lengthLowByte] + by);
  return file;
}

const Broken kBroken[] = {
    // ---- header
    {"header_cut_short", hex("'MThd' 00 00 00 06 00 01"), "too few for a MIDI header"},
    {"header_not_mthd",
     join({hex("'MTHd'"), Bytes(kHeader.begin() + 4, kHeader.end()), kConductor}),
     "does not begin with \"MThd\""},
    {"header_length_7", join({hex("'MThd' 00 00 00 07 00 01 00 01 01 E0 00"), kConductor}),
     "header's length is 7"},
    {"format_0", join({hex("'MThd' 00 00 00 06 00 00 00 01 01 E0"), kConductor}), "format 0"},
    {"division_96", join({hex("'MThd' 00 00 00 06 00 01 00 01 00 60"), kConductor}),
     "division is 96"},
    {"no_tracks_declared", hex("'MThd' 00 00 00 06 00 01 00 00 01 E0"), "declares no tracks"},
    {"track_count_above_chunks", join({hex("'MThd' 00 00 00 06 00 01 00 03 01 E0"), kConductor}),
     "declares 3 tracks but the file holds 1"},
    {"track_count_below_chunks",
     join({hex("'MThd' 00 00 00 06 00 01 00 01 01 E0"), kConductor, track(kPartEvents)}),
     "declares 1 tracks but the file holds 2"},
    // ---- chunks
    {"chunk_length_past_end", lastChunkLengthChanged(+1), "past the end of the file"},
    {"chunk_length_short_of_its_events", lastChunkLengthChanged(-1),
     "cut off by the end of the track"},
    {"bytes_after_the_last_chunk", join({withPart(kPartEvents), hex("00 00")}),
     "cut off before its length ends"},
    {"chunk_that_is_not_a_track", join({withPart(kPartEvents), hex("'XFIH' 00 00 00 00")}),
     "is not a track"},
    {"empty_track_chunk", join({kHeader, kConductor, hex("'MTrk' 00 00 00 00")}), "is empty"},
    // ---- delta times
    {"delta_of_five_bytes", withPart("81 80 80 80 00 C0 30  00 FF 2F 00"), "longer than 4 bytes"},
    {"delta_padded_with_0x80", withPart("80 01 C0 30  00 FF 2F 00"), "padded"},
    {"delta_cut_off", withPart("00 C0 30  83"), "delta time is cut off"},
    {"delta_without_its_event", withPart("00 C0 30  00"), "between a delta time and its event"},
    // ---- channel messages
    {"note_number_above_7f", withPart("00 90 BC 2A  00 FF 2F 00"), "data byte 0xBC"},
    {"program_above_7f", withPart("00 C0 B0  00 FF 2F 00"), "data byte 0xB0"},
    {"running_status", withPart("00 90 3C 2A  10 3C 00  00 FF 2F 00"),
     "data byte 0x3C where an event should start"},
    {"note_on_cut_off", withPart("00 FF 03 01 'U'  00 90 3C"), "channel message is cut off"},
    {"system_common_status", withPart("00 F2 00 00  00 FF 2F 00"), "status byte 0xF2"},
    {"system_exclusive_past_track", withPart("00 C0 30  00 F0 05 01 02 F7"),
     "run past the end of the track"},
    // ---- meta events
    {"meta_cut_off", withPart("00 C0 30  00 FF"), "meta event is cut off"},
    {"meta_type_above_7f", withPart("00 FF 81 00  00 FF 2F 00"), "type 0x81"},
    {"meta_length_past_track", withPart("00 FF 03 20 'Upper'  00 FF 2F 00"),
     "run past the end of the track"},
    {"end_of_track_with_length_1", withPart("00 C0 30  00 FF 2F 01 00"),
     "meta event 0x2F has length 1 instead of 0"},
    {"tempo_of_two_bytes", withPart("00 FF 51 02 07 A1  00 FF 2F 00"),
     "0x51 has length 2 instead of 3"},
    {"tempo_zero", withPart("00 FF 51 03 00 00 00  00 FF 2F 00"), "tempo is 0"},
    {"time_signature_of_three_bytes", withPart("00 FF 58 03 04 02 18  00 FF 2F 00"),
     "0x58 has length 3 instead of 4"},
    {"key_signature_of_one_byte", withPart("00 FF 59 01 00  00 FF 2F 00"),
     "0x59 has length 1 instead of 2"},
    {"key_signature_eight_sharps", withPart("00 FF 59 02 08 00  00 FF 2F 00"), "8 sharps"},
    {"key_signature_mode_2", withPart("00 FF 59 02 00 02  00 FF 2F 00"), "mode 2"},
    {"channel_prefix_16", withPart("00 FF 20 01 10  00 FF 2F 00"), "channel prefix 16"},
    {"port_of_two_bytes", withPart("00 FF 21 02 00 00  00 FF 2F 00"),
     "0x21 has length 2 instead of 1"},
    // ---- end of track
    {"no_end_of_track", withPart("00 FF 03 05 'Upper'  00 C0 30"),
     "does not end with an end-of-track"},
    {"two_ends_of_track", withPart("00 C0 30  00 FF 2F 00  00 FF 2F 00"),
     "an event follows the end-of-track"},
    {"end_of_track_not_last", withPart("00 FF 2F 00  00 C0 30"),
     "an event follows the end-of-track"},
    {"conductor_without_end_of_track",
     join({kHeader, track("00 FF 51 03 07 A1 20"), track(kPartEvents)}),
     "track 1, event at byte 22: the track does not end with an end-of-track"},
};

INSTANTIATE_TEST_SUITE_P(Defects, SmfCheckerRefuses, ::testing::ValuesIn(kBroken),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace koralux::test
