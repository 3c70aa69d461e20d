// What a user is told about a file before trusting its MIDI file: files too short to be a
// performance are refused, and the findings of the analysis, planted one by one; ordinary
// recordings give none.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;

// Bytes that no organ wrote: a fixed pseudo-random sequence.
Bytes noise(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  for (std::uint8_t& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return bytes;
}

std::string codes(const AnalysisResults& analysis) {
  std::string text;
  for (const Finding& f : analysis.findings) {
    text += (text.empty() ? "" : " ") + std::string(findingCodeName(f.code));
  }
  return text;
}

TEST(Findings, FilesShorterThanTheHeaderAreRefused) {
  for (const std::size_t size : {0u, 1u, 100u, 255u}) {
    try {
      test::analyse(Bytes(size, 0x90));
      ADD_FAILURE() << size << " bytes were read as a performance";
    } catch (const FatalStop& stop) {
      EXPECT_EQ(stop.description(), "not a performance file: it has " + std::to_string(size) +
                                        (size == 1 ? " byte" : " bytes") +
                                        ", and a performance starts with a 256-byte header");
    }
  }
}

TEST(Findings, EachPlantedCaseIsFound) {
  Bytes song = generatePerformance({.seed = 5});
  Bytes filler = song;
  std::fill(filler.begin() + 1024, filler.begin() + 1536, std::uint8_t{0xF6});
  Bytes jpeg = test::hex("FF D8 FF E0 00 10 'JFIF' 00 01 01 00 00 48 00 48 00 00");
  const Bytes body = noise(6000, 6);
  jpeg.insert(jpeg.end(), body.begin(), body.end());
  const std::string ccs = test::repeat("B0 07 64  ", 1000);
  const std::pair<Bytes, const char*> cases[] = {
      {song, ""},
      {Bytes(256, 0), "header-only"},
      {test::performance("90 3C 64  F3 0A  FE 78  80 3C"), "cut-short"},
      {test::performance("90 3C 64  80 3C 40"), "no-timing"},
      {test::performance("F3 0A  FE 78"), "no-notes"},
      {test::performance(ccs + "F3 0A  90 3C 64"), "no-early-timing"},
      {test::performance("90 3C 64  F3 0A  " + test::repeat("01 ", 60)), "not-organ-bytes"},
      {noise(3000, 11), "cut-short not-organ-bytes"},
      {jpeg, "not-organ-bytes"},
      {filler, "unread-sector"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(codes(test::analyse(input)), expected) << test::toHex(Bytes(
        input.begin() + 256,
        input.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(input.size(), 280))));
  }
  const AnalysisResults unread = test::analyse(filler);
  EXPECT_EQ(unread.findings.at(0).text, "the bytes from 1024 to 1535 look unread (all F6)");
  EXPECT_EQ(unread.findings.at(0).offset, 1024);
  EXPECT_EQ(test::analyse(cases[2].first).findings.at(0).offset, 256 + 7);
}

// Ordinary recordings, of every shape the generator makes, give no finding.
TEST(Findings, NoneForOrdinaryRecordings) {
  const GeneratorOptions shapes[] = {
      {},
      {.channels = kXgChannels, .xg = true},
      {.channels = 0xFFFF, .everyKind = true, .looseTiming = true, .xg = true},
      {.rhythmUnit = false, .alignMarker = false, .pedalWithoutReleases = true},
      {.tempo = 300, .channels = 0xFFFF, .expression = false, .everyKind = true},
      {.tempo = 40, .channels = 0x0001},
  };
  for (GeneratorOptions shape : shapes) {
    for (std::uint64_t seed = 1; seed <= 1000; ++seed) {
      shape.seed = seed;
      shape.seconds = 10.0 + static_cast<double>(seed % 50);
      const std::string found = codes(test::analyse(generatePerformance(shape)));
      ASSERT_EQ(found, "") << "seed " << seed << ", tempo " << shape.tempo;
    }
  }
}

}  // namespace
}  // namespace koralux
