// XG parts and registration changes: off by default, when every output stays what it was before
// the option existed; on request, the backing arrangement, its set-up messages and the
// registration changes, read back by independent parsers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;

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

}  // namespace
}  // namespace koralux
