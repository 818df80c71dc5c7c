// The telescope link on the simulated mount: LX200 commands byte for byte with their waits,
// relay pulses, swaps, go-to commands and the replies they read.
#include "guiding/telescope_link.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "camera/camera_link.h"
#include "corvex.h"
#include "sim/observatory.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class TelescopeLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    observatory = testing::AttachObservatory(rig, testing::StillMount());
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> texts;
    for (const auto& c : observatory->telescopeCommands()) texts.push_back(c.text);
    return texts;
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

TEST_F(TelescopeLinkTest, ATimedLx200MoveAndItsWaits) {
  corvex.telescope.moveDirection = DirectionLetter(corvex, 1);  // west
  corvex.telescope.moveDurationMs = 1000;
  TimedMove(corvex);
  const auto& sent = observatory->telescopeCommands();
  ASSERT_EQ(Commands(), (std::vector<std::string>{"#:RG#", "#:Mw#", "#:Qw#"}));
  EXPECT_EQ(sent[1].atMs - sent[0].atMs, 20);
  EXPECT_EQ(sent[2].atMs - sent[1].atMs, 1000);
  EXPECT_EQ(rig.clock.NowMs(), 1024);
  EXPECT_NEAR(observatory->mount().GuidedAt(rig.clock.NowMs()).x, -6, 1e-9) << "guide rate x 1 s, west";
}

TEST_F(TelescopeLinkTest, SwapsReverseAnAxisEverywhere) {
  SwapEastWest(corvex);
  corvex.telescope.moveDirection = DirectionLetter(corvex, 0);  // the east slot
  corvex.telescope.moveDurationMs = 100;
  TimedMove(corvex);
  EXPECT_EQ(Commands()[1], "#:Mw#");
  corvex.state.settings.telescopeMethod = 'b';
  TimedMove(corvex);
  EXPECT_EQ(observatory->relayMask(), 0) << "relays released";
  SwapNorthSouth(corvex);
  EXPECT_EQ(DirectionLetter(corvex, 2), 's');
  EXPECT_EQ(RelayMask('w'), 0x01);
  EXPECT_EQ(RelayMask('e'), 0x08);
}

TEST_F(TelescopeLinkTest, ARelayMoveAlwaysEndsReleasedAndSettled) {
  corvex.state.settings.telescopeMethod = 'b';
  corvex.telescope.moveDirection = 'n';
  corvex.telescope.moveDurationMs = 1;
  TimedMove(corvex);
  EXPECT_EQ(observatory->relayMask(), 0);
  EXPECT_EQ(rig.clock.NowMs(), 10 + 1 + 300);
  EXPECT_TRUE(Commands().empty()) << "no serial command for a relay move";
}

TEST_F(TelescopeLinkTest, AStopIsSentAgainUntilItGoesOut) {
  // The stop's first write fails (after finding the camera: rate, move, stop).
  const int discovery = observatory->requests();
  sim::SimConfig config = testing::StillMount();
  config.failWriteAt = discovery + 3;
  observatory = testing::AttachObservatory(rig, config);
  corvex.telescope.moveDirection = 'w';
  corvex.telescope.moveDurationMs = 1000;
  EXPECT_EQ(TimedMove(corvex), MoveResult::kDone);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"#:RG#", "#:Mw#", "#:Qw#"}));
  EXPECT_FALSE(observatory->mount().Moving('w'));
  EXPECT_EQ(rig.host.MessageTexts(),
            std::vector<std::string>{"Could not write KAMIO Output - try rebooting USB device"});

  // A rate command that fails: no move at whatever rate the telescope was left at.
  config.failWriteAt = discovery + 1;
  observatory = testing::AttachObservatory(rig, config);
  EXPECT_EQ(TimedMove(corvex), MoveResult::kNotMade);
  EXPECT_TRUE(Commands().empty());

  // Relays that cannot be released: tried three times, then the user is told.
  config.failWriteAt = 0;
  config.disconnectAfter = discovery + 1;
  observatory = testing::AttachObservatory(rig, config);
  corvex.state.settings.telescopeMethod = 'b';
  rig.host.messages.clear();
  EXPECT_EQ(TimedMove(corvex), MoveResult::kStillMoving);
  EXPECT_EQ(observatory->relayMask(), 0x01) << "the west relay is still closed";
  const auto texts = rig.host.MessageTexts();
  EXPECT_EQ(texts.back(), kStillMovingMessage);
  EXPECT_EQ(std::count(texts.begin(), texts.end(),
                       "Could not write KAMIO Output - try rebooting USB device"),
            kStopAttempts);
}

TEST_F(TelescopeLinkTest, GoToCoordinatesAndTheCatalogue) {
  ASSERT_TRUE(GoToCoordinates(corvex, 5, 35, -5, 7));
  EXPECT_EQ(Commands()[0], "#:Sr 05:35.0#");
  EXPECT_EQ(Commands()[1], "#:Sd -05*07#");
  EXPECT_EQ(Commands()[2], "#:LI#");
  EXPECT_EQ(Commands()[3], "#:MS#");
  EXPECT_EQ(corvex.telescope.slewReplyText, "") << "'0': the slew was accepted";
  ASSERT_TRUE(GoToCoordinates(corvex, 0, 0, 0, 30));
  EXPECT_EQ(Commands()[5], "#:Sd +00*30#");
  EXPECT_FALSE(GoToCoordinates(corvex, 24, 0, 0, 0));
  EXPECT_FALSE(GoToCoordinates(corvex, 1, 0, 91, 0));

  ASSERT_TRUE(GoToCatalogueObject(corvex, 'm', 31));
  const auto texts = Commands();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "#:LM 0031#"), texts.end());
  EXPECT_EQ(corvex.telescope.scopeInfoText, "SIM M0031 MAG 5.0 SZ 10.0'");
  EXPECT_FALSE(GoToCatalogueObject(corvex, 'c', 10000));
}

TEST(TelescopeReplies, ARefusalAndAReplyWithoutTerminator) {
  testing::TestRig rig;
  testing::FakeEnumerator devices;
  devices.Add(0, testing::FakeDevicePath("1A2B", "7E21"));
  ASSERT_TRUE(DiscoverCamera(rig.corvex.camera, devices, rig.corvex.state));
  const auto reply = [&devices](const std::string& text) {
    devices.log.replies.push_back({std::vector<std::uint8_t>(text.begin(), text.end()), true, 0});
  };
  reply("1");
  reply("Object Below Horizon#xxxxxxxxxxxx");
  ReadSlewReply(rig.corvex);
  EXPECT_EQ(rig.corvex.telescope.slewReplyText, "Object Below Horizon");
  reply(std::string(33, 'A'));
  ReadScopeInfo(rig.corvex);
  EXPECT_EQ(rig.corvex.telescope.scopeInfoText, std::string(33, 'A'));
  // The serial requests carry the port the settings chose.
  rig.corvex.state.settings.comPortChar = '2';
  SelectTelescopePort(rig.corvex);
  SendScopeCommand(rig.corvex, "#:Qn#");
  EXPECT_EQ(devices.log.writes.back()[4], 1);
}

}  // namespace
}  // namespace corvex
