// The telescope panel's go-to buttons with their range checks and refusals, the planet
// buttons, and the press-and-hold arrows, on the simulated mount.
#include "guiding/telescope_panel.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "corvex.h"
#include "guiding/telescope_link.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

const std::string kCaption = "Corvex - Control Telescope";
const std::string kBadCoordinates =
    "Invalid Co-ordinates set.\n\nRange is R.A. 0hr 00min, to 23hr 59mins\n        Dec  "
    "-89deg 00min, to +89deg 59mins";

class TelescopePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, sim::SimConfig{});
    corvex.devices = sim::MakeSimulatedEnumerator(observatory);
    ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
    corvex.state.settings.telescopeMethod = 'l';
  }
  // The commands sent since the last call.
  std::vector<std::string> Sent() {
    std::vector<std::string> texts;
    const auto& sent = observatory->telescopeCommands();
    for (; seen < sent.size(); ++seen) texts.push_back(sent[seen].text);
    return texts;
  }
  void ExpectRefused(const std::string& text) {
    ASSERT_FALSE(rig.host.messages.empty());
    EXPECT_EQ(rig.host.messages.back().text, text);
    EXPECT_EQ(rig.host.messages.back().caption, kCaption);
    EXPECT_TRUE(Sent().empty()) << "nothing is sent for a refused go-to";
    rig.host.messages.clear();
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
  std::size_t seen = 0;
};

TEST_F(TelescopePanelTest, GoToObjectPrefersMessierThenCngc) {
  ASSERT_TRUE(GoToObject(corvex, 110, 0));
  EXPECT_EQ(Sent()[0], "#:LM 0110#");
  EXPECT_EQ(corvex.telescope.scopeInfoText, "SIM M0110 MAG 5.0 SZ 10.0'");
  ASSERT_TRUE(GoToObject(corvex, 5, 7000));
  EXPECT_EQ(Sent()[0], "#:LM 0005#") << "both filled in: the Messier number wins";
  ASSERT_TRUE(GoToObject(corvex, 0, 7815));
  EXPECT_EQ(Sent()[0], "#:LC 7815#");
  ASSERT_TRUE(GoToObject(corvex, 111, 1));
  EXPECT_EQ(Sent()[0], "#:LC 0001#");
  EXPECT_TRUE(rig.host.messages.empty());

  EXPECT_FALSE(GoToObject(corvex, 111, 0));
  ExpectRefused("Object out of range - try again");
  EXPECT_FALSE(GoToObject(corvex, 0, 7816));
  ExpectRefused("Object out of range - try again");
  EXPECT_FALSE(GoToObject(corvex, -1, -5));
  ExpectRefused("Object out of range - try again");
}

TEST_F(TelescopePanelTest, PlanetsAreTheTelescopesStarListNumbers) {
  EXPECT_EQ(PlanetNumber("Mercury"), 901);
  EXPECT_EQ(PlanetNumber("mars"), 904);
  EXPECT_EQ(PlanetNumber("PLUTO"), 909);
  EXPECT_EQ(PlanetNumber("Earth"), 0);
  EXPECT_EQ(PlanetNumber("Vulcan"), 0);
  EXPECT_EQ(PlanetNumber(""), 0);
  EXPECT_EQ(PlanetNumber("Mars "), 0);
  ASSERT_TRUE(GoToPlanet(corvex, "Jupiter"));
  EXPECT_EQ(Sent()[0], "#:LS 0905#");
  EXPECT_FALSE(GoToPlanet(corvex, "Vulcan"));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(TelescopePanelTest, GoToTargetChecksTheRanges) {
  ASSERT_TRUE(GoToTarget(corvex, 23, 59, -89, 59));
  std::vector<std::string> sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], "#:Sr 23:59.0#");
  EXPECT_EQ(sent[1], "#:Sd -89*59#");
  ASSERT_TRUE(GoToTarget(corvex, 0, 0, 89, 0));
  EXPECT_EQ(Sent()[1], "#:Sd +89*00#");
  // Half a degree south of the equator: the sign travels apart from the degrees.
  ASSERT_TRUE(GoToTarget(corvex, 6, 0, 0, 30, true));
  EXPECT_EQ(Sent()[1], "#:Sd -00*30#");
  EXPECT_TRUE(rig.host.messages.empty());

  const std::vector<std::array<int, 4>> outside{{24, 0, 10, 0}, {-1, 0, 0, 0}, {0, 60, 0, 0},
                                                {0, 0, -90, 0}, {0, 0, 90, 0}, {0, 0, 0, 60},
                                                {0, 0, 0, -1}};
  for (const auto& [h, m, d, dm] : outside) {
    EXPECT_FALSE(GoToTarget(corvex, h, m, d, dm)) << h << ":" << m << " " << d << ":" << dm;
    ExpectRefused(kBadCoordinates);
  }
}

TEST_F(TelescopePanelTest, AHeldSlewArrowSlewsOnceAndStopsOnce) {
  PressSlewArrow(corvex, 0);  // right: east
  PressSlewArrow(corvex, 0);
  PressSlewArrow(corvex, 2);  // another arrow while one is held: ignored too
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:RS#", "#:Me#"}));
  EXPECT_TRUE(observatory->mount().Moving('e'));
  ReleaseSlewArrow(corvex);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}));
  EXPECT_FALSE(observatory->mount().Moving('e'));
  ReleaseSlewArrow(corvex);
  EXPECT_TRUE(Sent().empty()) << "a release with nothing held sends nothing";

  // The chosen rate goes first; with east and west swapped the west arrow goes east.
  corvex.telescope.rateCommand = "#:RC#";
  SwapEastWest(corvex);
  PressSlewArrow(corvex, 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:RC#", "#:Me#"}));
  ReleaseSlewArrow(corvex);
  Sent();
  SwapNorthSouth(corvex);
  PressSlewArrow(corvex, 3);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:RC#", "#:Mn#"}));
}

TEST_F(TelescopePanelTest, FocusAndRelayArrows) {
  PressFocusArrow(corvex, true);
  PressFocusArrow(corvex, false);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:FS#", "#:F+#"}));
  ReleaseFocusArrow(corvex);
  ReleaseFocusArrow(corvex);
  EXPECT_EQ(Sent(), std::vector<std::string>{"#:FQ#"});
  corvex.telescope.focusSpeedCommand = "#:FF#";
  PressFocusArrow(corvex, false);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"#:FF#", "#:F-#"}));
  ReleaseFocusArrow(corvex);
  Sent();

  PressRelayArrow(corvex, 2);  // up: north
  PressRelayArrow(corvex, 0);
  EXPECT_EQ(observatory->relayMask(), 0x04);
  EXPECT_TRUE(observatory->mount().Moving('n'));
  ReleaseRelayArrow(corvex);
  EXPECT_EQ(observatory->relayMask(), 0);
  EXPECT_FALSE(corvex.telescope.slewing);
  SwapEastWest(corvex);
  PressRelayArrow(corvex, 0);  // right, swapped: the west relay
  EXPECT_EQ(observatory->relayMask(), 0x01);
  ReleaseRelayArrow(corvex);
  EXPECT_TRUE(Sent().empty()) << "relays, no serial commands";
}

}  // namespace
}  // namespace corvex
