// The INDI telescope method above the mount interface: corrections as pulses through the
// direction table, a mount that does not answer or goes away, and the telescope panel's
// go-to, arrows and refusals. A scripted mount stands in for the server.
#include <gtest/gtest.h>

#include <deque>

#include "guiding/telescope_link.h"
#include "guiding/telescope_panel.h"
#include "mount/sky_coordinates.h"
#include "runs/guide_training.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class ScriptedMount final : public Mount {
 public:
  bool Connect(std::string& error) override {
    ++connects;
    if (!connectError.empty()) {
      error = connectError;
      return false;
    }
    connected = true;
    return true;
  }
  bool Ready() const override { return connected && !lost; }
  bool Lost() const override { return lost; }
  std::string Name() const override { return "\"Scripted\" at test:1"; }
  bool StartPulse(char direction, int ms) override {
    if (lost) return false;
    pulses.push_back({direction, ms});
    return true;
  }
  PulseEnd WaitPulse(int timeoutMs) override {
    waits.push_back(timeoutMs);
    if (pulseEnds.empty()) return PulseEnd::kDone;
    const PulseEnd end = pulseEnds.front();
    pulseEnds.pop_front();
    if (end == PulseEnd::kLost) lost = true;
    return end;
  }
  bool GoTo(const SkyPosition& ofDate) override {
    goTos.push_back(ofDate);
    return !lost;
  }
  bool Slewing() const override { return false; }
  std::optional<SkyPosition> Position() const override { return position; }
  bool StartMotion(char direction) override {
    motions.push_back(direction);
    return true;
  }
  bool StopMotion() override {
    motions.push_back('-');
    return true;
  }
  bool Abort() override {
    ++aborts;
    return true;
  }

  std::string connectError;
  bool connected = false;
  bool lost = false;
  int connects = 0;
  int aborts = 0;
  std::vector<std::pair<char, int>> pulses;
  std::vector<int> waits;
  std::deque<PulseEnd> pulseEnds;
  std::vector<SkyPosition> goTos;
  std::vector<char> motions;
  std::optional<SkyPosition> position;
};

// A rig whose telescope is the scripted mount, chosen in corvex.conf's settings.
struct MountRig {
  MountRig() {
    corvex.options.Set(kTelescopeMethodKey, "indi");
    corvex.makeMount = [this](const ProgramOptions&) {
      auto made = std::make_unique<ScriptedMount>();
      mount = made.get();
      made->connectError = connectError;
      return made;
    };
  }
  MoveResult Move(char letter, int ms) {
    corvex.telescope.moveDirection = letter;
    corvex.telescope.moveDurationMs = static_cast<std::uint32_t>(ms);
    return TimedMove(corvex);
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ScriptedMount* mount = nullptr;
  std::string connectError;
};

TEST(MountMethod, CorrectionsArePulsesThroughTheDirectionTable) {
  MountRig m;
  EXPECT_TRUE(TelescopeMethodChosen(m.corvex)) << "chosen although Corvex.ini says none";
  ASSERT_TRUE(PrepareTelescopeLink(m.corvex)) << "no camera is needed for the mount";
  ASSERT_NE(m.mount, nullptr);
  const std::int64_t before = m.rig.clock.NowMs();
  EXPECT_EQ(m.Move(DirectionLetter(m.corvex, kEast), 1234), MoveResult::kDone);
  EXPECT_EQ(m.rig.clock.NowMs() - before, 1234) << "the pulse's time passes on the clock";
  SwapEastWest(m.corvex);
  SwapNorthSouth(m.corvex);
  EXPECT_EQ(m.Move(DirectionLetter(m.corvex, kEast), 10), MoveResult::kDone);
  EXPECT_EQ(m.Move(DirectionLetter(m.corvex, kNorth), 20), MoveResult::kDone);
  const std::vector<std::pair<char, int>> expected = {{'e', 1234}, {'w', 10}, {'s', 20}};
  EXPECT_EQ(m.mount->pulses, expected);
  EXPECT_EQ(m.mount->waits.front(), 1234 + kPulseGraceMs);
  EXPECT_EQ(m.mount->connects, 1) << "a connected mount is not connected again";
  EXPECT_TRUE(m.rig.host.MessageTexts().empty());
}

TEST(MountMethod, NoAnswerOrALostMountStopsWithAMessage) {
  {
    MountRig m;
    ASSERT_TRUE(PrepareTelescopeLink(m.corvex));
    m.mount->pulseEnds = {PulseEnd::kTimedOut};
    EXPECT_EQ(m.Move('n', 500), MoveResult::kStillMoving) << "guiding must end";
    EXPECT_EQ(m.mount->aborts, 1) << "the mount is told to stop";
    ASSERT_EQ(m.rig.host.MessageTexts().size(), 1u);
    EXPECT_EQ(m.rig.host.MessageTexts()[0],
              "The INDI mount \"Scripted\" at test:1 did not finish a 500 ms guide pulse within "
              "5 s. It was told to stop; check the mount and start again.");
  }
  {
    MountRig m;
    ASSERT_TRUE(PrepareTelescopeLink(m.corvex));
    m.mount->pulseEnds = {PulseEnd::kLost};
    EXPECT_EQ(m.Move('w', 300), MoveResult::kStillMoving);
    EXPECT_EQ(m.mount->aborts, 1) << "an abort where the server may still carry it";
    const std::string lost =
        "The connection to the INDI mount \"Scripted\" at test:1 was lost. Nothing more is "
        "sent to it; reconnect it and start again.";
    EXPECT_EQ(m.rig.host.MessageTexts().back(), lost);
    // The next move sends nothing at all.
    EXPECT_EQ(m.Move('w', 300), MoveResult::kStillMoving);
    EXPECT_EQ(m.mount->pulses.size(), 1u);
  }
  {
    MountRig m;
    m.connectError = "Cannot reach the INDI server at test:1.";
    EXPECT_FALSE(PrepareTelescopeLink(m.corvex));
    EXPECT_EQ(m.rig.host.MessageTexts().back(), "Cannot reach the INDI server at test:1.");
  }
  {
    MountRig m;
    m.corvex.makeMount = [](const ProgramOptions&) { return nullptr; };
    EXPECT_FALSE(PrepareTelescopeLink(m.corvex)) << "a server address that cannot be used";
    EXPECT_FALSE(m.rig.host.MessageTexts().empty());
  }
}

TEST(MountMethod, TrainingMovesTheMountNotTheRelays) {
  // Corvex.ini says the control box; corvex.conf's INDI mount comes first, and the control
  // box's wake-up pulses are not sent to it.
  MountRig m;
  auto observatory = testing::AttachObservatory(m.rig, testing::StillMount());
  m.corvex.state.settings.telescopeMethod = 'b';
  m.corvex.state.settings.selfGuideTrainingSeconds = 1;
  ASSERT_TRUE(testing::PickBrightestStar(m.corvex));
  // The scripted mount moves nothing: the training ends on its results, after its eight moves.
  TrainSelfGuiding(m.corvex);
  ASSERT_NE(m.mount, nullptr);
  ASSERT_EQ(m.mount->pulses.size(), 8u);
  EXPECT_EQ(m.mount->pulses[0], (std::pair<char, int>{'n', 1000}));
  EXPECT_EQ(observatory->relayMask(), 0) << "no relay was touched";
}

TEST(MountMethod, PanelGoesToMessierAndCoordinatesAndRefusesTheRest) {
  MountRig m;
  ASSERT_TRUE(GoToObject(m.corvex, 31, 0));
  ASSERT_EQ(m.mount->goTos.size(), 1u);
  // M31 of date: precessed from J2000 by about 50" a year in RA and 20" in Dec.
  const SkyPosition j2000 = *MessierJ2000(31);
  const SkyPosition sent = m.mount->goTos[0];
  EXPECT_GT(sent.raHours, j2000.raHours + 0.005);
  EXPECT_LT(sent.raHours, j2000.raHours + 0.03);
  EXPECT_GT(sent.decDegrees, j2000.decDegrees + 0.05);
  EXPECT_LT(sent.decDegrees, j2000.decDegrees + 0.25);
  EXPECT_EQ(m.corvex.telescope.scopeInfoText.rfind("M31 going to RA 00h", 0), 0u)
      << m.corvex.telescope.scopeInfoText;

  ASSERT_TRUE(GoToTarget(m.corvex, 5, 30, 0, 30, true));
  ASSERT_EQ(m.mount->goTos.size(), 2u);
  EXPECT_LT(m.mount->goTos[1].decDegrees, 0) << "-0 30' is south";

  EXPECT_FALSE(GoToObject(m.corvex, 0, 224));
  EXPECT_FALSE(GoToPlanet(m.corvex, "Mars"));
  EXPECT_FALSE(GoToObject(m.corvex, 0, 0));
  EXPECT_EQ(m.mount->goTos.size(), 2u);
  std::vector<std::string> boxes;
  for (const auto& message : m.rig.host.messages) boxes.push_back(message.text);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0], kNoNgcOverIndi);
  EXPECT_EQ(boxes[1], kNoPlanetsOverIndi);
  EXPECT_EQ(boxes[2], "Object out of range - try again");

  m.mount->position = SkyPosition{0.75, -5.5};
  ASSERT_TRUE(ReadMountInfo(m.corvex));
  EXPECT_EQ(m.corvex.telescope.scopeInfoText, "RA 00h45m00s Dec -05 30' 00\"");

  PressSlewArrow(m.corvex, kNorth);
  PressSlewArrow(m.corvex, kEast);  // ignored while one is held
  ReleaseSlewArrow(m.corvex);
  EXPECT_EQ(m.mount->motions, (std::vector<char>{'n', '-'}));
  EXPECT_TRUE(AbortMount(m.corvex));
  EXPECT_EQ(m.mount->aborts, 1);
}

}  // namespace
}  // namespace corvex
