// Colour synthesis: the black level, the four phases, weighting and saturation, the plane
// borders, the refusal, and the colours of the simulated sky coming back.
#include "processing/colour_synthesis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "camera/camera_requests.h"
#include "commands/camera_commands.h"
#include "camera/camera_link.h"
#include "commands/colour_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "processing/colour_adjustments.h"
#include "processing/sensor_geometry.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class ColourSynthesisTest : public ::testing::Test {
 protected:
  // A flat frame whose black-level reference (columns 3-5) reads 0, as in a camera frame.
  static void FillFrame(ImageBuffer& image, std::uint16_t value) {
    image.Fill(value);
    for (int row = 0; row < kImageRows; ++row) {
      for (int col = 3; col <= 5; ++col) image[row * kImageStride + col] = 0;
    }
  }
  void Fill(std::uint16_t value) { FillFrame(corvex.store.currentImage, value); }
  // Options all off, as "synth" on the command line gives them.
  static bool AllOff(ProgramSettings& s) {
    s.antiAlias = s.lightPollutionCorrection = s.weakStretch = s.strongStretch = false;
    s.userStretch = s.removeBackground = s.highPassLowPower = s.unsharpMask = false;
    return true;
  }
  int Index(int x, int y) const { return y * kImageStride + x; }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
};

TEST_F(ColourSynthesisTest, BlackLevelComesOffAndBrightValuesStay) {
  ImageBuffer image;
  image.Fill(1000);
  for (int row = 20; row <= 219; ++row) {
    for (int col = 3; col <= 5; ++col) image[row * 512 + col] = 100;
  }
  image[7000] = 65500;
  image[7001] = 50;
  EXPECT_EQ(BlackLevel(image), 100);
  SubtractBlackLevel(image, BlackLevel(image));
  EXPECT_EQ(image[9000], 900);
  EXPECT_EQ(image[7000], 65500);
  EXPECT_EQ(image[7001], 0);
}

TEST_F(ColourSynthesisTest, UniformInputInEachPhase) {
  // Phase (on, on): red v/5, green 2v/5, blue v/5 before weighting. For v = 10000 that is
  // 2000, 4000, 2000, weighted 8571, 24000, 20000, and / 256: 33, 93, 78. The other phases
  // give the same for a uniform field.
  Fill(10000);
  const SynthesisPixel onOn = SynthesizePixel(corvex.store.currentImage, 50, 50, true, true);
  EXPECT_EQ(onOn.red, 33);
  EXPECT_EQ(onOn.green, 93);
  EXPECT_EQ(onOn.blue, 78);
  EXPECT_EQ(onOn.luminance, 12500);  // (10000 + 10000) / 1.6
  const SynthesisPixel onOff = SynthesizePixel(corvex.store.currentImage, 50, 50, true, false);
  EXPECT_EQ(onOff.red, 33);
  EXPECT_EQ(onOff.green, 93);
  EXPECT_EQ(onOff.blue, 78);
  const SynthesisPixel offOn = SynthesizePixel(corvex.store.currentImage, 50, 50, false, true);
  EXPECT_EQ(offOn.red, 33);
  EXPECT_EQ(offOn.blue, 78);
  const SynthesisPixel offOff = SynthesizePixel(corvex.store.currentImage, 50, 50, false, false);
  EXPECT_EQ(offOff.blue, 78);
  EXPECT_EQ(offOff.green, 93);
  EXPECT_EQ(offOff.red, 33);
}

TEST_F(ColourSynthesisTest, OnlyTheCentrePixelDiffers) {
  // A bright centre in phase (off, off): blue = (7D - 2O - 12P)/40 goes negative -> 0,
  // green = (6O - D - 4P)/40 likewise; red takes what is left: (S - 0 - 0)/8.
  ImageBuffer& image = corvex.store.currentImage;
  image.Fill(0);
  image[Index(5, 5)] = 8000;
  const SynthesisPixel pixel = SynthesizePixel(image, 5, 5, false, false);
  EXPECT_EQ(pixel.blue, 0);
  EXPECT_EQ(pixel.green, 0);
  // red = (8000 + 11 x 2400 + 13 x 800) / 8 = 5600 -> 5600 x 300 / 70 = 24000 -> 93
  EXPECT_EQ(pixel.red, 93);
  EXPECT_EQ(pixel.luminance, 5000);  // (0 + 8000) / 1.6
}

TEST_F(ColourSynthesisTest, BrightPixelsComeOutGrey) {
  ImageBuffer& image = corvex.store.currentImage;
  image.Fill(0);
  image[Index(5, 5)] = 65535;
  image[Index(4, 5)] = 65535;  // l + P = 131070: L = 81918 > 60000
  const SynthesisPixel grey = SynthesizePixel(image, 5, 5, true, true);
  EXPECT_EQ(grey.luminance, 65535);
  EXPECT_EQ(grey.red, grey.green);
  EXPECT_EQ(grey.green, grey.blue);
}

TEST_F(ColourSynthesisTest, PlaneBordersAndLabelBand) {
  Fill(5000);
  ASSERT_TRUE(SynthesizeColourImage(corvex, AllOff));
  ImageStore& store = corvex.store;
  EXPECT_TRUE(corvex.state.colourConverted);
  for (int x : {0, 100, 509, 510, 511}) EXPECT_EQ(store.redPlane[Index(x, 0)], 0) << x;
  EXPECT_EQ(store.greenPlane[Index(0, 100)], 0);
  EXPECT_EQ(store.bluePlane[Index(510, 100)], 0);
  EXPECT_EQ(store.bluePlane[Index(511, 100)], 0);
  EXPECT_EQ(store.redPlane[Index(200, 289)], 0);
  EXPECT_EQ(store.currentImage[Index(200, 289)], 0);
  EXPECT_EQ(store.currentImage[Index(0, 100)], 5000) << "column 0 keeps its value";
  EXPECT_EQ(store.currentImage[Index(200, 100)], 6250);
  EXPECT_EQ(rig.host.progressCaptions.back(), "COLOUR CALCULATION IN PROGRESS");

  // A second synthesis is refused and changes nothing.
  EXPECT_FALSE(SynthesizeColourImage(corvex, AllOff));
  EXPECT_EQ(rig.host.MessageTexts().back(), "Already Colour Converted");
  EXPECT_EQ(store.currentImage[Index(200, 100)], 6250);

  // A labelled frame: the band's rows keep their values and their planes are white.
  testing::TestRig labelled;
  ImageBuffer& image = labelled.corvex.store.currentImage;
  FillFrame(image, 5000);
  for (int col = 0; col < 6; ++col) image[col] = kLabelMarkerValue;
  image[3 * 512 + 40] = 60000;
  ASSERT_TRUE(SynthesizeColourImage(labelled.corvex, AllOff));
  EXPECT_EQ(image[3 * 512 + 40], 60000);
  EXPECT_EQ(labelled.corvex.store.redPlane[9 * 512 + 40], 255);
  EXPECT_NE(labelled.corvex.store.redPlane[10 * 512 + 40], 255);
}

TEST(LightPollution, EachPlaneComesDownToTheSmallestModeAndDarkValuesStay) {
  // Modes in rows 10-39: red 50, green 20, blue 30, so red comes down 30, blue 10 and green
  // stays. Elsewhere the planes run through every value, the ones below the offset included.
  ColourPlanes planes;
  const std::array<std::uint8_t, 3> modes = {50, 20, 30};
  std::array<std::uint8_t*, 3> all = {planes.red.data(), planes.green.data(), planes.blue.data()};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < kImageValues; ++i) {
      const int row = i / kImageStride;
      all[p][i] = static_cast<std::uint8_t>(row >= 10 && row <= 39 ? modes[p] : (i * 7 + p) % 256);
    }
  }
  std::array<std::vector<std::uint8_t>, 3> was;
  for (int p = 0; p < 3; ++p) was[p].assign(all[p], all[p] + kImageValues);
  CorrectLightPollution({planes.red.data(), planes.green.data(), planes.blue.data()});
  const std::array<int, 3> offsets = {30, 0, 10};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < kImageValues; ++i) {
      const int want = was[p][i] >= offsets[p] ? was[p][i] - offsets[p] : was[p][i];
      ASSERT_EQ(all[p][i], want) << "plane " << p << " value " << i;
    }
  }
}

TEST_F(ColourSynthesisTest, CancelledDialogChangesNothingAndOptionsPersist) {
  Fill(5000);
  EXPECT_FALSE(SynthesizeColourImage(corvex, [](ProgramSettings&) { return false; }));
  EXPECT_FALSE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.store.currentImage[Index(200, 100)], 5000);

  ASSERT_TRUE(SynthesizeColourImage(corvex, [](ProgramSettings& s) {
    AllOff(s);
    s.strongStretch = true;
    return true;
  }));
  EXPECT_EQ(corvex.history.entries[0], "Non-Linear Stretch : power 18");
  corvex.state.settings.strongStretch = false;
  ASSERT_EQ(ReadSettingsFile(corvex), 0);
  EXPECT_TRUE(corvex.state.settings.strongStretch) << "the options were written";
}

TEST_F(ColourSynthesisTest, RemoveBackgroundOnADarkSkyLeavesTheStretchAlone) {
  // A sky below level 3 (high byte 1): Remove Background does nothing, so the result is the
  // stretch's alone, with no stale table applied on the way.
  const auto frame = [](ImageBuffer& image) {
    FillFrame(image, 300);
    for (int i = 100 * kImageStride; i < kImageValues; i += 5) image[i] = 9000;
  };
  frame(corvex.store.currentImage);
  ASSERT_TRUE(SynthesizeColourImage(corvex, [](ProgramSettings& s) {
    AllOff(s);
    s.strongStretch = s.removeBackground = true;
    return true;
  }));
  testing::TestRig plain;
  frame(plain.corvex.store.currentImage);
  ASSERT_TRUE(SynthesizeColourImage(plain.corvex, [](ProgramSettings& s) {
    AllOff(s);
    s.strongStretch = true;
    return true;
  }));
  EXPECT_GT(corvex.store.currentImage[Index(200, 150)], 0);
  EXPECT_TRUE(std::equal(corvex.store.currentImage.begin(),
                         corvex.store.currentImage.begin() + kImageValues,
                         plain.corvex.store.currentImage.begin()));
}

TEST_F(ColourSynthesisTest, UndoColourAfterSynthesisGivesItsPlanesBack) {
  Fill(5000);
  for (int i = 0; i < kImageValues; i += 7) corvex.store.currentImage[i] = 9000;
  ASSERT_TRUE(SynthesizeColourImage(corvex, [](ProgramSettings& s) {
    AllOff(s);
    s.antiAlias = true;
    return true;
  }));
  std::vector<std::uint8_t> red(corvex.store.redPlane.begin(),
                                corvex.store.redPlane.begin() + kImageValues);
  ASSERT_TRUE(LowPassColourFilter(corvex));
  ASSERT_TRUE(UndoLastColourFilter(corvex));
  EXPECT_TRUE(std::equal(red.begin(), red.end(), corvex.store.redPlane.begin()));
}

TEST_F(ColourSynthesisTest, SimulatedStarsKeepTheirColours) {
  sim::SimConfig config;
  config.driftRaPxPerMin = config.driftDecPxPerMin = config.periodicPx = 0;
  auto observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
  corvex.state.exposureMs = 4000;
  ClearSensor(corvex.camera);
  rig.clock.Advance(4000);
  ReadFullFrame(corvex);
  ASSERT_TRUE(SynthesizeColourImage(corvex, AllOff));

  int checked = 0;
  for (std::size_t i = 0; i < observatory->sky().mainStars.size(); ++i) {
    const sim::SimStar& star = observatory->sky().mainStars[i];
    const bool red = star.red == 1 && star.blue < 0.5;
    const bool blue = star.blue == 1 && star.red < 0.8;
    if ((!red && !blue) || star.flux < 3000) continue;
    const sim::SensorPoint p = observatory->StarPosition(i);
    const int cx = static_cast<int>(std::lround(p.x)) + 6;
    const int cy = static_cast<int>(std::lround(p.y));
    if (cx < 10 || cx > 500 || cy < 12 || cy > 280) continue;
    long r = 0, b = 0;
    for (int y = cy - 2; y <= cy + 2; ++y) {
      for (int x = cx - 2; x <= cx + 2; ++x) {
        r += corvex.store.redPlane[Index(x, y)];
        b += corvex.store.bluePlane[Index(x, y)];
      }
    }
    if (red) {
      EXPECT_GT(r, b) << "red star " << i;
    } else {
      EXPECT_GT(b, r) << "blue star " << i;
    }
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
}  // namespace corvex
