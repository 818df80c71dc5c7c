// Camera discovery over a scripted list of interfaces.
#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using testing::FakeDevicePath;
using testing::FakeEnumerator;

class DiscoveryTest : public ::testing::Test {
 protected:
  bool Discover() { return DiscoverCamera(rig.corvex.camera, devices, rig.corvex.state); }
  const std::vector<testing::RecordedMessage>& Messages() { return rig.host.messages; }

  testing::TestRig rig;
  FakeEnumerator devices;
};

TEST_F(DiscoveryTest, OpensTheExpectedProductIdAndSaysNothing) {
  devices.Add(0, FakeDevicePath("1A2B", "7E21"));
  EXPECT_TRUE(Discover());
  EXPECT_TRUE(rig.corvex.state.cameraFound);
  EXPECT_EQ(devices.opened, std::vector<std::string>{FakeDevicePath("1A2B", "7E21")});
  EXPECT_EQ(rig.corvex.camera.vendorIdText, "1A2B");
  EXPECT_EQ(rig.corvex.camera.productIdText, "7E21");
  EXPECT_EQ(rig.corvex.camera.description.product, "Fake camera 1");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(devices.releases, 1);
}

TEST_F(DiscoveryTest, AWrongProductIdIsSkippedUnlessAnyIdIsAccepted) {
  devices.Add(0, FakeDevicePath("1A2B", "7E22"));
  EXPECT_TRUE(Discover());  // an interface was listed, even though none was opened
  EXPECT_FALSE(rig.corvex.state.cameraFound);
  EXPECT_TRUE(devices.opened.empty());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "USB KAMIO device not found");
  EXPECT_EQ(Messages()[0].caption, "Corvex");

  rig.corvex.state.settings.acceptAnyProductId = true;
  EXPECT_TRUE(Discover());
  EXPECT_TRUE(rig.corvex.state.cameraFound);
  EXPECT_EQ(devices.opened.size(), 1u);
}

TEST_F(DiscoveryTest, WithAnyIdEveryInterfaceIsOpenedAndTheLastOneWins) {
  rig.corvex.state.settings.acceptAnyProductId = true;
  devices.Add(0, FakeDevicePath("1111", "0001", 1));
  devices.Add(1, FakeDevicePath("2222", "7E21", 2));
  devices.Add(2, FakeDevicePath("3333", "0003", 3));
  EXPECT_TRUE(Discover());
  EXPECT_EQ(devices.opened.size(), 3u);
  EXPECT_EQ(rig.corvex.camera.devicePath, FakeDevicePath("3333", "0003", 3));
  EXPECT_EQ(rig.corvex.camera.device->HandleNumber(), 3);
  EXPECT_EQ(devices.log.closed, 2);  // the replaced handles are closed, not leaked
}

TEST_F(DiscoveryTest, OfTwoMatchingCamerasTheHigherIndexIsUsedAndGapsDoNotStopTheScan) {
  devices.Add(3, FakeDevicePath("1A2B", "7E21", 1));
  devices.Add(17, FakeDevicePath("1A2B", "7E21", 2));
  devices.Add(20, FakeDevicePath("1A2B", "7E21", 9));  // beyond the 20 indices examined
  EXPECT_TRUE(Discover());
  EXPECT_EQ(rig.corvex.camera.devicePath, FakeDevicePath("1A2B", "7E21", 2));
  ASSERT_EQ(devices.queried.size(), 20u);
  EXPECT_EQ(devices.queried.front(), 0);
  EXPECT_EQ(devices.queried.back(), 19);
}

TEST_F(DiscoveryTest, NothingListedReportsNotFoundAndReturnsFalse) {
  EXPECT_FALSE(Discover());
  EXPECT_FALSE(rig.corvex.state.cameraFound);
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{"USB KAMIO device not found"});
}

TEST_F(DiscoveryTest, ASetThatCannotBeListedIsAnEarlyFailure) {
  devices.FailAttach();
  EXPECT_FALSE(Discover());
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{"Could not attach to PnP node"});
  EXPECT_EQ(devices.queried.size(), 0u);
}

TEST_F(DiscoveryTest, AnUnnamedInterfaceStopsTheScanWithAnErrorBox) {
  devices.Add(0, FakeDevicePath("1A2B", "7E21", 1));
  devices.AddUnnamed(1);
  devices.Add(2, FakeDevicePath("1A2B", "7E21", 2));
  EXPECT_FALSE(Discover());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Could not find the system name for this HID device");
  EXPECT_EQ(Messages()[0].caption, "Error");
  EXPECT_EQ(Messages()[0].icon, MessageIcon::kStop);
  EXPECT_FALSE(rig.corvex.state.cameraFound);
  EXPECT_EQ(devices.opened.size(), 1u);  // index 2 was never reached
  EXPECT_EQ(devices.releases, 1);         // the set is let go on every way out
}

TEST_F(DiscoveryTest, AFailedOpenStopsTheScanWithAnErrorBox) {
  devices.Add(0, FakeDevicePath("1A2B", "7E21", 1));
  devices.FailOpen(FakeDevicePath("1A2B", "7E21", 1));
  EXPECT_FALSE(Discover());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Could not open HID device");
  EXPECT_EQ(Messages()[0].caption, "Error");
  EXPECT_EQ(Messages()[0].icon, MessageIcon::kStop);
  EXPECT_FALSE(rig.corvex.state.cameraFound);

  // Refused for want of permission: the same box says how to get it.
  rig.host.messages.clear();
  devices.FailOpen(FakeDevicePath("1A2B", "7E21", 1), EACCES);
  EXPECT_FALSE(Discover());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text.rfind("Could not open HID device\n", 0), 0u);
  EXPECT_NE(Messages()[0].text.find("udev rule"), std::string::npos);
  EXPECT_NE(Messages()[0].text.find("plugdev"), std::string::npos);
}

TEST_F(DiscoveryTest, AnotherDiscoveryClosesTheEarlierHandleBeforeItOpensAgain) {
  devices.Add(0, FakeDevicePath("1A2B", "7E21"));
  EXPECT_TRUE(Discover());
  EXPECT_TRUE(Discover());
  EXPECT_EQ(devices.opened.size(), 2u);
  EXPECT_EQ(devices.log.closed, 1);
  EXPECT_TRUE(rig.corvex.state.cameraFound);
}

TEST_F(DiscoveryTest, SummaryShowsHandleOsVersionAndProductId) {
  rig.corvex.state.settings.verboseCameraMessages = true;
  devices.Add(0, FakeDevicePath("1A2B", "7E21"));
  EXPECT_TRUE(Discover());
  ASSERT_EQ(Messages().size(), 1u);
  const std::string& text = Messages()[0].text;
  EXPECT_EQ(text.rfind("Camera Found, \nKAMIO =      1\nO/S = ", 0), 0u) << text;
  EXPECT_NE(text.find("."), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 11), "\nPID = 7E21");

  rig.host.messages.clear();
  rig.corvex.state.settings.verboseCameraMessages = false;
  rig.corvex.state.showCameraSummary = true;
  EXPECT_TRUE(Discover());
  EXPECT_EQ(Messages().size(), 1u);
}

TEST(IdText, FourCharactersFourPlacesAfterTheKey) {
  EXPECT_EQ(IdTextAfter("usb#vid_04B4&pid_7E21#1-2#{x}", "vid"), "04B4");
  EXPECT_EQ(IdTextAfter("usb#vid_04B4&pid_7E21#1-2#{x}", "pid"), "7E21");
  EXPECT_EQ(IdTextAfter("usb#vid_04b4&pid_7e21", "pid"), "7e21");  // compared exactly, later
  EXPECT_EQ(IdTextAfter("usb#pid_7E", "pid"), "7E");
  EXPECT_EQ(IdTextAfter("usb#pid", "pid"), "");
  EXPECT_EQ(IdTextAfter("usb#nothing", "pid"), std::nullopt);
}

TEST_F(DiscoveryTest, APathWithoutIdsKeepsTheTextsOfTheInterfaceBefore) {
  rig.corvex.state.settings.acceptAnyProductId = true;
  devices.Add(0, FakeDevicePath("1A2B", "7E21"));
  devices.Add(1, "usb#unnamed#1-5#{x}");
  EXPECT_TRUE(Discover());
  EXPECT_EQ(rig.corvex.camera.vendorIdText, "1A2B");
  EXPECT_EQ(rig.corvex.camera.productIdText, "7E21");
  EXPECT_EQ(rig.corvex.camera.devicePath, "usb#unnamed#1-5#{x}");
}

}  // namespace
}  // namespace corvex
