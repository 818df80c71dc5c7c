// The simulated observatory as the program sees it through the request set, and its truth.
#include "sim/observatory.h"

#include <gtest/gtest.h>

#include <cmath>

#include "camera/camera_requests.h"
#include "commands/camera_commands.h"
#include "camera/camera_link.h"
#include "corvex.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using sim::SimConfig;

SimConfig StillMount() {
  SimConfig config;
  config.driftRaPxPerMin = 0;
  config.driftDecPxPerMin = 0;
  config.periodicPx = 0;
  return config;
}

class ObservatoryTest : public ::testing::Test {
 protected:
  void Start(const SimConfig& config) {
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
    corvex.devices = sim::MakeSimulatedEnumerator(observatory);
    ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
    ASSERT_TRUE(corvex.state.cameraFound);
  }
  // A full frame exposed for `ms` with the current fieldSelect.
  void Snap(int ms) {
    corvex.state.exposureMs = ms;
    ClearSensor(corvex.camera);
    if (ms > 1000) rig.clock.Advance(ms);
    ReadFullFrame(corvex);
  }
  // Intensity-weighted centre of the brightest star near (x, y) of the sensor.
  std::pair<double, double> Centroid(double x, double y) {
    double sx = 0, sy = 0, s = 0;
    for (int row = static_cast<int>(y) - 5; row <= static_cast<int>(y) + 5; ++row) {
      for (int col = static_cast<int>(x) - 5; col <= static_cast<int>(x) + 5; ++col) {
        const double v = std::max(0.0, corvex.store.currentImage[row * 512 + col + 6] - 400.0);
        sx += v * col;
        sy += v * row;
        s += v;
      }
    }
    return {sx / s, sy / s};
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

TEST_F(ObservatoryTest, IsDiscoveredAsTheCamera) {
  Start(SimConfig{});
  EXPECT_EQ(corvex.camera.productIdText, "7E21");
  EXPECT_EQ(corvex.camera.description.manufacturer, "Corvex simulator");
}

TEST_F(ObservatoryTest, FramesShowTheStarsWhereTheTruthSaysTheyAre) {
  Start(StillMount());
  Snap(2000);
  EXPECT_EQ(rig.clock.NowMs(), 2000 + observatory->config().fullReadoutMs);
  const sim::SensorPoint truth = observatory->StarPosition(0);
  const auto [x, y] = Centroid(truth.x, truth.y);
  EXPECT_NEAR(x, truth.x, 0.25);
  EXPECT_NEAR(y, truth.y, 0.25);
  // The margins of the stored layout stay empty; the sky is above the bias.
  EXPECT_EQ(corvex.store.currentImage[100 * 512 + 3], 0);
  EXPECT_GT(corvex.store.currentImage[20 * 512 + 20], 100);
}

TEST_F(ObservatoryTest, RelayMovesShiftTheStarsByRateTimesTime) {
  SimConfig config = StillMount();
  config.backlashPx = 0;
  Start(config);
  const sim::SensorPoint before = observatory->StarPosition(0);
  SetGuideRelays(corvex.camera, kRelayWest);
  rig.clock.Advance(1500);
  SetGuideRelays(corvex.camera, 0);
  rig.clock.Advance(1000);  // nothing moves once the relay is off
  const sim::SensorPoint after = observatory->StarPosition(0);
  EXPECT_NEAR(after.x - before.x, -6 * 1.5, 1e-9);
  EXPECT_NEAR(after.y - before.y, 0, 1e-9);

  SetGuideRelays(corvex.camera, kRelayNorth | kRelayEast);
  rig.clock.Advance(500);
  SetGuideRelays(corvex.camera, 0);
  const sim::SensorPoint diagonal = observatory->StarPosition(0);
  EXPECT_NEAR(diagonal.x - after.x, 3, 1e-9);
  EXPECT_NEAR(diagonal.y - after.y, 3, 1e-9);

  // The guider sees the same move turned by its angle to RA.
  const double angle = observatory->config().guiderRotationDeg * M_PI / 180;
  const sim::SensorPoint g0 = observatory->StarPosition(0, true);
  SetGuideRelays(corvex.camera, kRelayWest);
  rig.clock.Advance(1000);
  SetGuideRelays(corvex.camera, 0);
  const sim::SensorPoint g1 = observatory->StarPosition(0, true);
  EXPECT_NEAR(g1.x - g0.x, -6 * std::cos(angle), 1e-9);
  EXPECT_NEAR(g1.y - g0.y, -6 * std::sin(angle), 1e-9);

  // A mirrored guider sees RA the same way and Dec turned over.
  SimConfig mirrored = observatory->config();
  mirrored.guiderMirrored = true;
  const sim::SimStar star{};
  for (const sim::PointingOffset move : {sim::PointingOffset{6, 0}, sim::PointingOffset{0, 6}}) {
    const sim::SensorPoint plain = sim::StarOnSensor(star, move, true, observatory->config());
    const sim::SensorPoint turned = sim::StarOnSensor(star, move, true, mirrored);
    const double sign = move.y != 0 ? -1 : 1;
    EXPECT_NEAR(turned.x, sign * plain.x, 1e-9);
    EXPECT_NEAR(turned.y, sign * plain.y, 1e-9);
  }
}

TEST_F(ObservatoryTest, DecBacklashSwallowsTheStartOfAReversal) {
  SimConfig config = StillMount();
  config.backlashPx = 2;
  Start(config);
  const auto decAfter = [&](std::uint8_t relay, int ms) {
    SetGuideRelays(corvex.camera, relay);
    rig.clock.Advance(ms);
    SetGuideRelays(corvex.camera, 0);
    return observatory->mount().GuidedAt(rig.clock.NowMs()).y;
  };
  EXPECT_NEAR(decAfter(kRelaySouth, 1000), -6, 1e-9);  // already engaged southwards
  EXPECT_NEAR(decAfter(kRelayNorth, 1000), -6 + 4, 1e-9) << "2 of the 6 pixels are lost";
  EXPECT_NEAR(decAfter(kRelayNorth, 1000), -2 + 6, 1e-9);
}

TEST_F(ObservatoryTest, LongExposuresDriftAndCollectMoreLight) {
  Start(SimConfig{});
  const sim::SensorPoint start = observatory->StarPosition(0);
  rig.clock.Advance(60000);
  const sim::SensorPoint minuteLater = observatory->StarPosition(0);
  const double periodic = 4 * std::sin(2 * M_PI * 60 / 480);
  EXPECT_NEAR(minuteLater.x - start.x, 0.5 + periodic, 1e-9);
  EXPECT_NEAR(minuteLater.y - start.y, 0.2, 1e-9);

  Snap(2000);
  const double sky2 = corvex.store.currentImage[40 * 512 + 40];
  Snap(8000);
  const double sky8 = corvex.store.currentImage[40 * 512 + 40];
  EXPECT_GT(sky8 - 100, 2.5 * (sky2 - 100));
}

TEST_F(ObservatoryTest, InterlaceFieldsReadAlternateRows) {
  Start(StillMount());
  corvex.state.fieldSelect = 1;
  Snap(2000);
  EXPECT_GT(corvex.store.currentImage[10 * 512 + 50], 0);
  EXPECT_EQ(corvex.store.currentImage[11 * 512 + 50], 0);
  corvex.state.fieldSelect = 2;
  Snap(2000);
  EXPECT_EQ(corvex.store.currentImage[10 * 512 + 50], 0);
  EXPECT_GT(corvex.store.currentImage[11 * 512 + 50], 0);
  ASSERT_EQ(observatory->readouts().size(), 2u);
  EXPECT_EQ(observatory->readouts()[1].field, 2);
}

TEST_F(ObservatoryTest, WindowsFocusFramesAndTheGuider) {
  Start(StillMount());
  corvex.state.exposureValue = 5;
  corvex.state.exposureUnit = 't';
  const int peak = FocusExposure(corvex);
  EXPECT_GT(peak, 1000) << "the bright star sits in the default focus window";
  EXPECT_EQ(observatory->readouts().back().width, 128);

  corvex.state.guiderExposureValue = 2;
  corvex.state.guiderExposureUnit = 's';
  GuiderExposure(corvex);
  const sim::SensorPoint g = observatory->StarPosition(0, true);
  const int at = static_cast<int>(std::round(g.y)) * 500 + static_cast<int>(std::round(g.x));
  EXPECT_GT(corvex.store.guiderImage[at], 10000);
  EXPECT_EQ(corvex.store.guiderImage[at] & 0xFF, 0) << "the guider sends high bytes";
}

TEST_F(ObservatoryTest, TheSameSeedGivesTheSameFrame) {
  Start(SimConfig{});
  Snap(1000);
  std::vector<std::uint16_t> first(corvex.store.currentImage.begin(),
                                   corvex.store.currentImage.begin() + kImageValues);
  testing::TestRig other;
  auto twin = std::make_shared<sim::SimulatedObservatory>(other.clock, SimConfig{});
  other.corvex.devices = sim::MakeSimulatedEnumerator(twin);
  DiscoverCamera(other.corvex.camera, *other.corvex.devices, other.corvex.state);
  other.corvex.state.exposureMs = 1000;
  ClearSensor(other.corvex.camera);
  ReadFullFrame(other.corvex);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), other.corvex.store.currentImage.begin()));
}

TEST_F(ObservatoryTest, TelescopeAndFilterWheelOnTheSerialPorts) {
  Start(StillMount());
  SerialWrite(corvex.camera, 0, "#:LM 0031#", 10);
  SerialWrite(corvex.camera, 0, "#:LI#", 5);
  ASSERT_EQ(SerialRead(corvex.camera, 0, 33), 33u);
  const std::string info(reinterpret_cast<const char*>(corvex.camera.usbReceiveBuffer.data()), 33);
  EXPECT_EQ(info.substr(0, info.find('#')), "SIM M0031 MAG 5.0 SZ 10.0'");
  SerialWrite(corvex.camera, 0, "#:MS#", 5);
  ASSERT_EQ(SerialRead(corvex.camera, 0, 1), 1u);
  EXPECT_EQ(corvex.camera.usbReceiveBuffer[0], '0');

  SerialWrite(corvex.camera, 0, "#:RG#", 5);
  SerialWrite(corvex.camera, 0, "#:Ms#", 5);
  rig.clock.Advance(1000);
  SerialWrite(corvex.camera, 0, "#:Qs#", 5);
  EXPECT_NEAR(observatory->mount().GuidedAt(rig.clock.NowMs()).y, -6, 1e-9);
  EXPECT_EQ(observatory->telescopeCommands().back().text, "#:Qs#");

  corvex.state.filterWheelPort = 1;
  SelectFilter(corvex, 5);
  EXPECT_EQ(observatory->filterPosition(), 5);
  EXPECT_EQ(observatory->filterPort(), 1);
}

TEST_F(ObservatoryTest, InjectedFaultsReachTheProgram) {
  SimConfig config = StillMount();
  config.shortReadAt = 1;
  config.failWriteAt = 2;
  config.disconnectAfter = 4;
  Start(config);
  Snap(500);  // requests 1 and 2; the readout request fails, the reply comes back short
  EXPECT_EQ(rig.host.messages.size(), 2u);
  EXPECT_EQ(corvex.camera.bytesRead, 0u) << "nothing was asked for: the read times out";
  corvex.state.exposureMs = 500;
  ReadFullFrame(corvex);  // request 3: now the short read
  EXPECT_EQ(corvex.camera.bytesRead, kFullFrameBytes / 2);
  EXPECT_EQ(corvex.store.currentImage[289 * 512 + 100], 0) << "the missing half reads 0";
  ClearSensor(corvex.camera);  // request 4, the last one that gets through
  ClearSensor(corvex.camera);
  EXPECT_EQ(corvex.camera.bytesWritten, 0u);
}

TEST(SimSettings, ParseAndRefuseWithoutChanging) {
  SimConfig config;
  EXPECT_FALSE(sim::ApplySimSettings(" seed=3, backlash=0,drift=1:-2,periodic=4:60 ", config));
  EXPECT_EQ(config.seed, 3u);
  EXPECT_EQ(config.backlashPx, 0);
  EXPECT_EQ(config.driftDecPxPerMin, -2);
  EXPECT_EQ(config.periodicSeconds, 60);
  EXPECT_FALSE(config.guiderMirrored);
  EXPECT_FALSE(sim::ApplySimSettings("guider-mirror=1,guider-rotation=10", config));
  EXPECT_TRUE(config.guiderMirrored);
  EXPECT_EQ(config.guiderRotationDeg, 10);
  for (const char* bad : {"seed=-1", "fwhm=0", "drift=1", "nonsense=1", "backlash", "seed=3x"}) {
    SimConfig before = config;
    EXPECT_TRUE(sim::ApplySimSettings(std::string("guide-rate=9,") + bad, config)) << bad;
    EXPECT_EQ(config.guideRatePxPerSec, before.guideRatePxPerSec) << bad;
  }
}

}  // namespace
}  // namespace corvex
