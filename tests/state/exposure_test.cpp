// The three exposure unit tables, and the focus frame reset.
#include "state/exposure.h"

#include <gtest/gtest.h>

#include <climits>

#include "state/program_state.h"

namespace corvex {
namespace {

TEST(ExposureUnits, MainTableKnowsMinutesAndTakesUnknownLettersAsSeconds) {
  EXPECT_EQ(MainExposureMs(3, 'q'), 3);
  EXPECT_EQ(MainExposureMs(3, 'h'), 30);
  EXPECT_EQ(MainExposureMs(3, 't'), 300);
  EXPECT_EQ(MainExposureMs(3, 's'), 3000);
  EXPECT_EQ(MainExposureMs(3, 'm'), 180000);
  EXPECT_EQ(MainExposureMs(3, 'x'), 3000);
  EXPECT_EQ(MainExposureMs(10, 'm'), 600000);
}

TEST(ExposureUnits, ShortTableTakesMinutesAsSeconds) {
  EXPECT_EQ(ShortExposureMs(7, 'q'), 7);
  EXPECT_EQ(ShortExposureMs(7, 'h'), 70);
  EXPECT_EQ(ShortExposureMs(7, 't'), 700);
  EXPECT_EQ(ShortExposureMs(7, 'm'), 7000);
  EXPECT_EQ(ShortExposureMs(7, 's'), 7000);
}

TEST(ExposureUnits, GuiderTableHasNoThousandthsOrMinutes) {
  EXPECT_EQ(GuiderExposureMs(5, 'h'), 50);
  EXPECT_EQ(GuiderExposureMs(5, 't'), 500);
  EXPECT_EQ(GuiderExposureMs(5, 'q'), 5000);
  EXPECT_EQ(GuiderExposureMs(5, 'm'), 5000);
}

TEST(ExposureUnits, HugeValuesSaturateInsteadOfWrappingToAShortExposure) {
  EXPECT_EQ(MainExposureMs(INT_MAX / 100, 'm'), INT_MAX);
  EXPECT_EQ(ShortExposureMs(INT_MAX, 's'), INT_MAX);
}

TEST(ProgramStateDefaults, FocusFrameCentreAlwaysGoesBackTo184And65) {
  ProgramState state;
  EXPECT_EQ(state.focusLeft, 184);
  EXPECT_EQ(state.focusTop, 65);
  state.focusLeft = 10;
  state.focusTop = 300;
  ResetFocusFrameCentre(state);
  EXPECT_EQ(state.focusLeft, 184);
  EXPECT_EQ(state.focusTop, 65);
}

}  // namespace
}  // namespace corvex
