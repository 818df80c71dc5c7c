// The virtual clock moves only when waited on and never runs backwards.
#include "platform/clock.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(VirtualClock, MovesOnlyWhenSomebodyWaits) {
  VirtualClock clock(1000);
  EXPECT_EQ(clock.NowMs(), 1000);
  EXPECT_EQ(clock.NowMs(), 1000);
  clock.SleepUntil(601000);  // a ten-minute exposure
  EXPECT_EQ(clock.NowMs(), 601000);
  clock.SleepFor(250);
  EXPECT_EQ(clock.NowMs(), 601250);
}

TEST(VirtualClock, NeverRunsBackwards) {
  VirtualClock clock(500);
  clock.SleepUntil(100);
  EXPECT_EQ(clock.NowMs(), 500);
  clock.Advance(-50);
  EXPECT_EQ(clock.NowMs(), 500);
  clock.Advance(20);
  EXPECT_EQ(clock.NowMs(), 520);
}

TEST(SteadyClock, WaitsAtLeastUntilTheDeadline) {
  SteadyClock clock;
  const std::int64_t start = clock.NowMs();
  clock.SleepUntil(start + 5);
  EXPECT_GE(clock.NowMs(), start + 5);
  clock.SleepUntil(start - 100);  // a deadline in the past returns at once
}

}  // namespace
}  // namespace corvex
