// The command line's one reading of numbers, positions and exposure lengths.
#include "arguments.h"

#include <gtest/gtest.h>

#include <climits>

namespace corvex::cli {
namespace {

TEST(Numbers, OnlyADecimalNumberInsideItsRangeIsTaken) {
  EXPECT_EQ(ParseWhole("12", 0, 20), 12);
  EXPECT_EQ(ParseWhole("+4", 0, 20), 4);
  EXPECT_EQ(ParseWhole("-3", -5, 5), -3);
  EXPECT_EQ(ParseWhole("010", 0, 20), 10);  // decimal, not octal
  for (const char* bad : {"", " 1", "1 ", "1x", "0x10", "1.0", "1e2", "+-1", "--1", "21"}) {
    EXPECT_FALSE(ParseWhole(bad, 0, 20)) << bad;
  }
  EXPECT_FALSE(ParseWhole("99999999999999999999", LLONG_MIN, LLONG_MAX));

  EXPECT_EQ(ParseReal("2.5", 0, 10), 2.5);
  EXPECT_EQ(ParseReal("-1e-3", -1, 1), -0.001);
  EXPECT_EQ(ParseReal("+0.1", 0.1, 1440), 0.1);
  for (const char* bad : {"nan", "NaN", "-nan", "inf", "-inf", "infinity", "1e300", "1e999",
                          "0x1p3", "5m", "", "1,5"}) {
    EXPECT_FALSE(ParseReal(bad, -1e9, 1e9)) << bad;
  }
}

TEST(Numbers, APositionIsExactlyTwoWholeNumbersInsideTheFrame) {
  const WholeRange columns{0, 511}, rows{0, 289};
  EXPECT_EQ(ParsePosition("10,20", columns, rows), std::make_pair(10, 20));
  EXPECT_EQ(ParsePosition("511,289", columns, rows), std::make_pair(511, 289));
  for (const char* bad : {"1,2,3", "5", "5,", ",5", "512,0", "0,290", "-1,0", "1;2", "1, 2",
                          "-2147483648,-2147483648", "99999999999,1"}) {
    EXPECT_FALSE(ParsePosition(bad, columns, rows)) << bad;
  }
  EXPECT_EQ(ParseRealPair("0.5,-0.2", -100, 100), std::make_pair(0.5, -0.2));
  EXPECT_FALSE(ParseRealPair("1,2,3", -100, 100));
  EXPECT_FALSE(ParseRealPair("nan,1", -100, 100));
}

TEST(Exposures, EachCameraTakesItsOwnUnitsAndRanges) {
  std::string error;
  const auto main = ParseExposure("250q", ExposureKind::kMain, error);
  ASSERT_TRUE(main);
  EXPECT_EQ(main->value, 250);
  EXPECT_EQ(main->unit, 'q');
  EXPECT_TRUE(error.empty());
  const auto seconds = ParseExposure("30", ExposureKind::kMain, error);
  ASSERT_TRUE(seconds);
  EXPECT_EQ(seconds->unit, 's');
  EXPECT_TRUE(ParseExposure("90m", ExposureKind::kMain, error));

  // Out of the unit's range: the message gives the range instead of clamping or wrapping.
  EXPECT_FALSE(ParseExposure("99999m", ExposureKind::kMain, error));
  EXPECT_NE(error.find("minutes go from 1 to 90"), std::string::npos) << error;
  EXPECT_FALSE(ParseExposure("65537t", ExposureKind::kGuider, error));
  EXPECT_NE(error.find("tenths go from 1 to 100"), std::string::npos) << error;

  for (const char* bad : {"", "0s", "-5s", "5x", "5S", "s", "1.5s", "5ss", "nan", "5 s"}) {
    EXPECT_FALSE(ParseExposure(bad, ExposureKind::kMain, error)) << bad;
    EXPECT_NE(error.find("is not an exposure"), std::string::npos) << bad << ": " << error;
  }
  EXPECT_FALSE(ParseExposure("5q", ExposureKind::kGuider, error));  // the guider has no q
  EXPECT_FALSE(ParseExposure("2m", ExposureKind::kFocus, error));
  EXPECT_FALSE(ParseExposure("100t", ExposureKind::kFocus, error));  // focus mode stops at 100
  EXPECT_FALSE(ParseExposure("12s", ExposureKind::kSelfGuide, error));
  EXPECT_TRUE(ParseExposure("11s", ExposureKind::kSelfGuide, error));
}

// The options built on the readings refuse during parsing, so nothing runs after a bad value.
TEST(Options, ABadValueIsRefusedWhileParsing) {
  CLI::App app;
  int count = 1;
  double minutes = 10;
  ExposureSetting exposure;
  AddWholeOption(app, "--count", count, 1, 999, "");
  AddRealOption(app, "--minutes", minutes, 0.1, 1440, "");
  AddExposureOption(app, "--exposure", exposure, ExposureKind::kMain, "");

  app.parse("--count 7 --minutes 2.5 --exposure 5t", false);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(minutes, 2.5);
  EXPECT_EQ(exposure.value, 5);
  EXPECT_EQ(exposure.unit, 't');
  for (const char* bad :
       {"--count 0", "--count 3x", "--minutes nan", "--minutes inf", "--exposure 99999m"}) {
    EXPECT_THROW(app.parse(bad, false), CLI::ValidationError) << bad;
  }
}

}  // namespace
}  // namespace corvex::cli
