// The INDI client against a peer it did not write: indiserver with the INDI library's
// telescope simulator, on a free port of its own. Pulses, go-to, motion, abort, a server that
// goes away, and guiding closed through the simulator's pointing.
#include "mount/indi_mount.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "guiding/telescope_link.h"
#include "guiding/telescope_panel.h"
#include "indi/indi_server.h"
#include "mount/sky_coordinates.h"
#include "runs/guide_training.h"
#include "runs/guiding_loops.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using namespace std::chrono_literals;

constexpr const char* kDevice = "Telescope Simulator";
constexpr double kArcsec = 1.0 / 3600;
constexpr double kGuideArcsecPerSec = 7.5;  // the simulator's guide rate: half sidereal

// The server with the telescope simulator, and a mount connected to it.
class IndiMountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start()) << server_.Log();
    mount_ = MakeIndiMount("localhost", server_.port(), kDevice);
    std::string error;
    ASSERT_TRUE(mount_->Connect(error)) << error << "\n" << server_.Log();
    // The simulator reports its position every 250 ms; guiding wants it sooner.
    SetProperty("POLLING_PERIOD.PERIOD_MS=20");
  }

  void SetProperty(const std::string& assignment) {
    const std::string command = "indi_setprop -p " + std::to_string(server_.port()) + " '" +
                                kDevice + "." + assignment + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Waits (real time) until the go-to has ended; false after `limit`.
  bool WaitForSlew(std::chrono::seconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::this_thread::sleep_for(300ms);
    while (mount_->Slewing()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(100ms);
    return true;
  }

  // A go-to that the test needs to have arrived, two hours east of the meridian. The
  // simulator is a German mount at longitude 0 on the system clock: which side of the pier it
  // takes, and so which way a north pulse turns its Dec axis, follows the target's hour angle.
  // A fixed RA would cross the meridian at some time of day and turn the test over.
  void Point(double decDegrees) {
    const double days = std::chrono::duration<double>(
                            std::chrono::system_clock::now().time_since_epoch()).count() / 86400 -
                        10957.5;  // since 2000-01-01 12:00 UT
    const double siderealHours = std::fmod(18.697374558 + 24.06570982441908 * days, 24.0);
    ASSERT_TRUE(mount_->GoTo({std::fmod(siderealHours + 2, 24.0), decDegrees}));
    ASSERT_TRUE(WaitForSlew());
    const auto [read, answer] =
        testing::RunCommand("indi_getprop -1 -p " + std::to_string(server_.port()) + " '" +
                            kDevice + ".TELESCOPE_PIER_SIDE.PIER_WEST'");
    ASSERT_TRUE(read && answer.rfind("On", 0) == 0)
        << "east of the meridian the simulator is on the west side of the pier: " << answer;
  }

  testing::IndiServer server_{{"indi_simulator_telescope"}, {}};
  std::unique_ptr<Mount> mount_;
};

TEST_F(IndiMountTest, ConnectsOrSaysWhatIsMissing) {
  EXPECT_TRUE(mount_->Ready());
  EXPECT_EQ(mount_->Name(),
            "\"Telescope Simulator\" at localhost:" + std::to_string(server_.port()));
  std::string error;
  auto anyMount = MakeIndiMount("localhost", server_.port(), "");
  EXPECT_TRUE(anyMount->Connect(error)) << "the first mount on the server: " << error;
  EXPECT_EQ(anyMount->Name(), mount_->Name());

  auto noSuch = MakeIndiMount("localhost", server_.port(), "No Such Mount");
  EXPECT_FALSE(noSuch->Connect(error));
  EXPECT_EQ(error, "The INDI server at localhost:" + std::to_string(server_.port()) +
                       " has no device \"No Such Mount\".");
  auto noServer = MakeIndiMount("localhost", testing::FreePort(), kDevice);
  EXPECT_FALSE(noServer->Connect(error));
  EXPECT_EQ(error.rfind("Cannot reach the INDI server at localhost:", 0), 0u) << error;
}

TEST_F(IndiMountTest, EachPulseMovesItsAxisByTheGuideRate) {
  Point(20);
  struct Case {
    char direction;
    double raArcsec, decArcsec;  // the expected change of RA (as an angle) and Dec
  };
  // The simulator's axes: west lowers RA; north lowers Dec on the west side of the pier.
  const Case cases[] = {{'e', +1, 0}, {'w', -1, 0}, {'n', 0, -1}, {'s', 0, +1}};
  for (const Case& c : cases) {
    const SkyPosition before = *mount_->Position();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(mount_->StartPulse(c.direction, 800));
    ASSERT_EQ(mount_->WaitPulse(800 + kPulseGraceMs), PulseEnd::kDone) << c.direction;
    EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms)
        << "the wait lasts until the mount says the pulse ended";
    std::this_thread::sleep_for(150ms);
    const SkyPosition after = *mount_->Position();
    const double step = kGuideArcsecPerSec * 0.8;
    // The simulator carries an RA pulse out between its position updates and, on a busy
    // machine, falls short of it by up to half; Dec it moves exactly.
    const double ra = (after.raHours - before.raHours) * 15 / kArcsec;
    if (c.raArcsec != 0) {
      EXPECT_GT(ra * c.raArcsec, 0.4 * step) << c.direction;
      EXPECT_LT(ra * c.raArcsec, 1.2 * step) << c.direction;
    } else {
      EXPECT_NEAR(ra, 0, 2.5) << c.direction << ": its RA wanders as it tracks";
    }
    EXPECT_NEAR((after.decDegrees - before.decDegrees) / kArcsec, c.decArcsec * step, 0.3)
        << c.direction;
  }
}

TEST_F(IndiMountTest, GoToM31ArrivesAndAbortStopsASlew) {
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  corvex.options.Set(kTelescopeMethodKey, "indi");
  corvex.options.Set(kIndiServerKey, "localhost:" + std::to_string(server_.port()));
  corvex.options.Set(kIndiMountKey, kDevice);
  corvex.makeMount = MakeConfiguredIndiMount;
  ASSERT_TRUE(GoToObject(corvex, 31, 0)) << ::testing::PrintToString(rig.host.MessageTexts());
  Mount& mount = *corvex.mount;
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(300ms);
  while (mount.Slewing() && std::chrono::steady_clock::now() - start < 30s) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_FALSE(mount.Slewing());
  std::this_thread::sleep_for(200ms);
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const SkyPosition m31 = PrecessFromJ2000(*MessierJ2000(31), JulianDateOfUnixMs(now));
  ASSERT_TRUE(ReadMountInfo(corvex));
  const SkyPosition at = *mount.Position();
  // The simulator arrives in Dec to an arcsecond; in RA it lags by its slew time at the
  // sidereal rate (a long slew: a few arcminutes). J2000 would be 17' off in RA, 8' in Dec.
  EXPECT_NEAR(at.raHours * 15 * std::cos(at.decDegrees * M_PI / 180),
              m31.raHours * 15 * std::cos(m31.decDegrees * M_PI / 180), 180 * kArcsec);
  EXPECT_NEAR(at.decDegrees, m31.decDegrees, 3 * kArcsec);
  EXPECT_EQ(corvex.telescope.scopeInfoText, SkyPositionText(at));

  // A long slew, stopped half-way: the mount stays where it stopped.
  ASSERT_TRUE(GoToTarget(corvex, 12, 0, -40, 0));
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(mount.Slewing());
  ASSERT_TRUE(AbortMount(corvex));
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(mount.Slewing());
  const SkyPosition stopped = *mount.Position();
  std::this_thread::sleep_for(1000ms);
  const SkyPosition later = *mount.Position();
  EXPECT_NEAR(later.decDegrees, stopped.decDegrees, 3 * kArcsec) << "nothing moves after abort";
  EXPECT_GT(std::abs(stopped.decDegrees - -40), 5) << "stopped short of the target";
}

TEST_F(IndiMountTest, HeldArrowsMoveUntilReleased) {
  Point(20);
  const SkyPosition before = *mount_->Position();
  ASSERT_TRUE(mount_->StartMotion('s'));
  std::this_thread::sleep_for(600ms);
  ASSERT_TRUE(mount_->StopMotion());
  std::this_thread::sleep_for(300ms);
  const SkyPosition stopped = *mount_->Position();
  EXPECT_GT(std::abs(stopped.decDegrees - before.decDegrees), 0.01);
  std::this_thread::sleep_for(500ms);
  EXPECT_NEAR(mount_->Position()->decDegrees, stopped.decDegrees, kArcsec);
}

// The simulated observatory's sky, following the telescope simulator's pointing at
// `arcsecPerPx`, with the simulator's drift and periodic error on top.
struct FollowingSky {
  FollowingSky(int port, const sim::SimConfig& config, double arcsecPerPx) {
    corvex.options.Set(kTelescopeMethodKey, "indi");
    corvex.options.Set(kIndiServerKey, "localhost:" + std::to_string(port));
    corvex.options.Set(kIndiMountKey, kDevice);
    corvex.makeMount = MakeConfiguredIndiMount;
    observatory = testing::AttachObservatory(rig, config);
    corvex.state.settings.telescopeMethod = 'n';  // only corvex.conf names the mount
    if (!ConnectMount(corvex)) return;
    Mount* mount = corvex.mount.get();
    observatory->FollowPointing(
        [mount]() -> std::optional<sim::ExternalPointing> {
          const auto at = mount->Position();
          if (!at) return std::nullopt;
          return sim::ExternalPointing{at->raHours, at->decDegrees};
        },
        arcsecPerPx);
    corvex.state.exposureValue = 3;
    corvex.state.exposureUnit = 's';
    corvex.state.exposureMs = 3000;
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

// The guide rate (7.5"/s) at this scale is 3 px/s; the telescope simulator's RA wanders by
// about an arcsecond as it tracks, well under a pixel here.
constexpr double kArcsecPerPx = 2.5;

TEST_F(IndiMountTest, CalibratesAndGuidesThroughTheSimulatorsPointing) {
  Point(0);
  sim::SimConfig config;  // drift 0.5 and 0.2 px/min, 8 px periodic error in RA
  config.backlashPx = 0;  // the telescope simulator has none; the simulator's would not apply
  FollowingSky sky(server_.port(), config, kArcsecPerPx);
  Corvex& corvex = sky.corvex;
  ASSERT_NE(corvex.mount, nullptr);
  corvex.state.settings.selfGuideTrainingSeconds = 2;
  ASSERT_TRUE(testing::PickBrightestStar(corvex));
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone)
      << ::testing::PrintToString(sky.rig.host.MessageTexts());
  // 7.5"/s at 2.5"/px: 3 px a second (RA a little less, as above).
  EXPECT_NEAR(corvex.state.settings.selfGuideRaRate, 3, 1);
  EXPECT_NEAR(corvex.state.settings.selfGuideDecRate, 3, 1);

  ASSERT_TRUE(testing::PickBrightestStar(corvex));
  const std::int64_t start = corvex.clock.NowMs();
  const sim::PointingOffset startOffset = sky.observatory->mount().OffsetAt(start);
  double raSquares = 0, decSquares = 0;
  int frames = 0, pulses = 0, unseen = 0;
  std::optional<SkyPosition> last = corvex.mount->Position();
  const GuidingEnd end =
      RunContinuousSelfGuiding(corvex, [&](Corvex& c, const GuideCorrection& correction) {
        const std::int64_t now = c.clock.NowMs();
        const sim::PointingOffset offset = sky.observatory->mount().OffsetAt(now);
        raSquares += std::pow(offset.x - startOffset.x, 2);
        decSquares += std::pow(offset.y - startOffset.y, 2);
        ++frames;
        // Every pulse shows in the simulator's pointing, on its axis and in its direction.
        // (RA pulses fall short by up to a fifth there, as above; its RA also wanders by an
        // arcsecond as it tracks, so only pulses of several arcseconds are looked at.)
        std::this_thread::sleep_for(80ms);
        const std::optional<SkyPosition> at = c.mount->Position();
        const double raMoved = (at->raHours - last->raHours) * 15 * 3600;
        const double decMoved = (at->decDegrees - last->decDegrees) * 3600;
        const double raPulse =
            (correction.raLetter == 'e' ? 1 : -1) * correction.raMs / 1000.0 * kGuideArcsecPerSec;
        const double decPulse =
            (correction.decLetter == 'n' ? -1 : 1) * correction.decMs / 1000.0 * kGuideArcsecPerSec;
        pulses += (correction.raMs > 0) + (correction.decMs > 0);
        if (std::abs(raPulse) > 3 && raMoved * raPulse < 0.5 * raPulse * raPulse) ++unseen;
        if (std::abs(decPulse) > 3 && decMoved * decPulse < 0.5 * decPulse * decPulse) ++unseen;
        last = at;
        if (now - start >= 10 * 60 * 1000) c.state.continuousMode = false;
      });
  EXPECT_EQ(end, GuidingEnd::kStopped) << ::testing::PrintToString(sky.rig.host.MessageTexts());
  EXPECT_GT(frames, 100);
  EXPECT_GT(pulses, 20);
  EXPECT_EQ(unseen, 0) << "pulses that did not show in the mount's pointing";
  EXPECT_LT(std::sqrt(raSquares / std::max(frames, 1)), 0.5) << "RMS in RA, pixels";
  EXPECT_LT(std::sqrt(decSquares / std::max(frames, 1)), 0.5) << "RMS in Dec, pixels";
}

TEST_F(IndiMountTest, AServerThatGoesAwayEndsGuidingWithTheMessage) {
  Point(0);
  sim::SimConfig config;
  config.backlashPx = 0;
  config.driftRaPxPerMin = 30;  // a correction every frame
  FollowingSky sky(server_.port(), config, kArcsecPerPx);
  Corvex& corvex = sky.corvex;
  ASSERT_NE(corvex.mount, nullptr);
  corvex.state.settings.selfGuideRaRate = 3;
  corvex.state.settings.selfGuideDecRate = 3;
  ASSERT_TRUE(testing::PickBrightestStar(corvex));
  int frames = 0;
  const GuidingEnd end = RunContinuousSelfGuiding(corvex, [&](Corvex& c, const GuideCorrection&) {
    if (++frames == 4) server_.Stop();
    if (frames > 50) c.state.continuousMode = false;
  });
  EXPECT_EQ(end, GuidingEnd::kMountMoving);
  EXPECT_LT(frames, 8);
  const auto texts = sky.rig.host.MessageTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "The connection to the INDI mount \"Telescope Simulator\" at localhost:" +
                          std::to_string(server_.port()) +
                          " was lost. Nothing more is sent to it; reconnect it and start again."),
            texts.end())
      << ::testing::PrintToString(texts);
  EXPECT_TRUE(corvex.mount->Lost());
}

}  // namespace
}  // namespace corvex
