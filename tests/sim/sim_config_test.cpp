// The simulator's settings: what CORVEX_SIM and the --sim-* options may set.
#include "sim/sim_config.h"

#include <gtest/gtest.h>

namespace corvex::sim {
namespace {

// NaN, infinities and sizes far off the sensor's scale would overflow the renderer's pixel
// arithmetic: they are refused with the entry and what it takes, and nothing is changed.
TEST(SimSettings, NumbersOffTheSensorsScaleAreRefused) {
  for (const char* bad :
       {"fwhm=nan", "fwhm=1e300", "fwhm=inf", "drift=nan:0", "drift=1:2:3", "drift=1e300:0",
        "periodic=8:0", "backlash=-3", "guide-rate=0", "guider-rotation=1e9", "readout-ms=2.5",
        "fail-write=-1", "short-read=1e12", "garbage-serial=2", "seed=1.5", "seed=1,fwhm=nan"}) {
    SimConfig config;
    const auto error = ApplySimSettings(bad, config);
    ASSERT_TRUE(error) << bad;
    EXPECT_EQ(error->rfind("bad simulator setting \"", 0), 0u) << *error;
    EXPECT_EQ(config.seed, 1u) << bad;
    EXPECT_EQ(config.fwhmPx, 2.5) << bad;
  }
  SimConfig config;
  EXPECT_EQ(*ApplySimSettings("fwhm=nan", config),
            "bad simulator setting \"fwhm=nan\": needs a number from 0.5 to 50");

  // The whole seed range, with no round trip through a double.
  EXPECT_FALSE(ApplySimSettings("seed=18446744073709551615,garbage-serial=1", config));
  EXPECT_EQ(config.seed, 18446744073709551615ull);
  EXPECT_TRUE(config.garbageSerial);
}

}  // namespace
}  // namespace corvex::sim
