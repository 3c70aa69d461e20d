// The analysis pass (tempo, song start, channel verdicts) and the clock rule.

#include <gtest/gtest.h>

#include "engine/analysis_pass.hpp"
#include "engine/performance_clock.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::analyse;
using test::performance;

// Clock markers, each after a timing event of 21 (0x15) milliseconds.
std::string markers(int count) {
  return test::repeat("F3 15 FE 78", count);
}

TEST(AnalysisPass, TempoFromClockMarkers) {
  // Without markers the starting estimate of 21 ms per marker stands: 119 beats per minute.
  EXPECT_EQ(analyse(performance("")).tempo, 119);
  EXPECT_EQ(analyse(performance(markers(200))).tempo, 119);
  // 25 ms apart: the average climbs to 2495, where the truncating division holds it.
  EXPECT_EQ(analyse(performance(test::repeat("F3 19 FE 78", 300))).tempo, 100);
  // The worked example: the average goes 2100, 2000, 1818.
  EXPECT_EQ(analyse(performance("90 3C 64 F3 0A FE 78 80 3C 40 FE 7A FE 78")).tempo, 138);
}

TEST(AnalysisPass, TempoEstimateOfZeroCountsAsOne) {
  // A gap of 65 seconds before the last clock marker is boundary_test's.
  EXPECT_EQ(tempoFromAverage(2100), 119);
  EXPECT_EQ(tempoFromAverage(500000), 1);
  EXPECT_EQ(tempoFromAverage(500001), 1);
  EXPECT_EQ(tempoFromAverage(std::int64_t{1} << 40), 1);
}

TEST(AnalysisPass, SongStartMovesTheFirstAlignmentOntoABar) {
  EXPECT_EQ(analyse(performance("")).songStartOffset, -1920);
  EXPECT_EQ(analyse(performance(markers(1) + "FE 7A")).songStartOffset, -1900);
  EXPECT_EQ(analyse(performance(markers(100) + "FE 7A")).songStartOffset, -1840);
  EXPECT_EQ(analyse(performance(markers(96) + "FE 7A")).songStartOffset, -1920);
  // A marker before any clock marker leaves the align tick at 0, so a later one still decides;
  // after that, later markers change nothing.
  const AnalysisResults a =
      analyse(performance("FE 7A " + markers(3) + "FE 7A " + markers(5) + "FE 7A"));
  EXPECT_EQ(a.alignTick, 60);
  EXPECT_EQ(a.songStartOffset, 60 - 1920);
}

TEST(ChannelActivity, Verdicts) {
  const auto verdictOf = [](int on, int off) {
    ChannelActivity activity;
    for (int i = 0; i < on; ++i) activity.record(3, 100);
    for (int i = 0; i < off; ++i) activity.record(3, 0);
    return activity.verdict(3);
  };
  EXPECT_EQ(verdictOf(0, 0), PartVerdict::Absent);
  EXPECT_EQ(verdictOf(10, 9), PartVerdict::Balanced);
  EXPECT_EQ(verdictOf(2, 0), PartVerdict::Balanced);  // too few to judge
  EXPECT_EQ(verdictOf(30, 0), PartVerdict::OnHeavy);
  EXPECT_EQ(verdictOf(100, 98), PartVerdict::OnHeavy);
  EXPECT_EQ(verdictOf(100, 99), PartVerdict::Balanced);
  EXPECT_EQ(verdictOf(10, 10), PartVerdict::Balanced);
  ChannelActivity activity;
  activity.record(16, 100);
  activity.record(-1, 100);
  EXPECT_EQ(activity.verdict(16), PartVerdict::Balanced);  // outside the counted channels
  EXPECT_EQ(activity.sounding(16), 0);
}

TEST(PerformanceClock, IntervalSettlesByHalvingItsDistance) {
  PerformanceClock clock(60000 / 120);
  std::vector<std::int64_t> intervals;
  for (int i = 0; i < 10; ++i) {
    clock.onTiming(20);
    clock.onClockMarker();
    intervals.push_back(clock.interval());
  }
  EXPECT_EQ(intervals, (std::vector<std::int64_t>{260, 140, 80, 50, 35, 27, 23, 21, 20, 20}));
  EXPECT_EQ(clock.clockTicks(), 200);
}

TEST(PerformanceClock, InterpolatesBetweenMarkers) {
  PerformanceClock clock(20);
  for (int i = 0; i < 20; ++i) clock.onClockMarker();  // interval halves to 0 meanwhile
  EXPECT_EQ(clock.clockTicks(), 400);
  EXPECT_EQ(clock.interval(), 0);
  // An interval of 0 counts as 1 in the division: 10 ms then give 200 ticks, not a crash.
  EXPECT_EQ(clock.onTiming(10), 400 + 200);

  PerformanceClock settled(20);
  EXPECT_EQ(settled.onTiming(10), 10);
  EXPECT_EQ(settled.onClockMarker(), 20);
  EXPECT_EQ(settled.interval(), 15);
}

TEST(PerformanceClock, LongGapsStayExact) {
  // Beyond 74.6 minutes without a clock marker, elapsed × 480 no longer fits in 32 bits.
  PerformanceClock clock(500);
  const std::int64_t ms = 90 * 60 * 1000;
  EXPECT_EQ(clock.onTiming(ms), ms * 480 / (500 * 24));
}

}  // namespace
}  // namespace koralux
