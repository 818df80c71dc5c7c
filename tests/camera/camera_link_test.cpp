// The two transfers: what goes out, what lands in the receive buffer, what is reported.
#include <gtest/gtest.h>

#include <cerrno>

#include "camera/camera_link.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using testing::FakeDevicePath;

class CameraLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    devices.Add(0, FakeDevicePath("1A2B", "7E21"));
    ASSERT_TRUE(DiscoverCamera(link(), devices, rig.corvex.state));
  }
  CameraLink& link() { return rig.corvex.camera; }
  testing::FakeCameraLog& log() { return devices.log; }

  testing::TestRig rig;
  testing::FakeEnumerator devices;
};

TEST_F(CameraLinkTest, TheTransferBuffersHoldARequestAndAWholeReadout) {
  EXPECT_EQ(link().commandBlock.size(), 64u);
  EXPECT_GE(link().usbReceiveBuffer.size(), 290000u);
}

TEST_F(CameraLinkTest, WriteSendsTheFirstTransferByteCountBytesOfTheBlock) {
  for (int i = 0; i < kCommandBlockBytes; ++i) link().commandBlock[i] = static_cast<std::uint8_t>(i);
  link().transferByteCount = 10;
  WriteCommand(link());
  ASSERT_EQ(log().writes.size(), 1u);
  EXPECT_EQ(log().writes[0], (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(link().bytesWritten, 10u);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(CameraLinkTest, AFailedOrShortWriteIsReportedAndTheSequenceGoesOn) {
  link().transferByteCount = 8;
  log().writeResults.push_back({.ok = false, .bytes = 0, .errorCode = EIO});
  log().writeResults.push_back({.ok = true, .bytes = 5, .errorCode = 0});
  WriteCommand(link());
  WriteCommand(link());
  WriteCommand(link());
  EXPECT_EQ(log().writes.size(), 3u);
  const std::string text = "Could not write KAMIO Output - try rebooting USB device";
  EXPECT_EQ(rig.host.MessageTexts(), (std::vector<std::string>{text, text}));
}

TEST_F(CameraLinkTest, ReadLandsAtTheStartOfTheReceiveBuffer) {
  log().replies.push_back({.bytes = {0x34, 0x12, 0xFF, 0x00}});
  link().transferByteCount = 4;
  EXPECT_EQ(ReadReply(link()), 4u);
  EXPECT_EQ(log().readSizes, std::vector<std::size_t>{4});
  EXPECT_EQ(link().usbReceiveBuffer[0], 0x34);
  EXPECT_EQ(link().usbReceiveBuffer[3], 0x00);
  EXPECT_EQ(link().bytesRead, 4u);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(CameraLinkTest, AFailedReadReportsTheErrorAndLeavesThePreviousContents) {
  link().usbReceiveBuffer.Fill(0xAB);
  log().replies.push_back({.bytes = {}, .ok = false, .errorCode = ETIMEDOUT});
  link().transferByteCount = kReadoutBytes;
  EXPECT_EQ(ReadReply(link()), 0u);
  EXPECT_EQ(link().usbReceiveBuffer[0], 0xAB);
  EXPECT_EQ(rig.host.MessageTexts(),
            std::vector<std::string>{"Error " + std::to_string(ETIMEDOUT) +
                                     " trying to read KAMIO data from USB\n"});
}

TEST_F(CameraLinkTest, AShortReadIsReportedWithBothCounts) {
  log().replies.push_back({.bytes = std::vector<std::uint8_t>(1000, 7)});
  link().transferByteCount = kReadoutBytes;
  EXPECT_EQ(ReadReply(link()), 1000u);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].text,
            "Short read from KAMIO device: 1000 of 290000 bytes received - the data is "
            "incomplete");
  EXPECT_EQ(rig.host.messages[0].caption, "Corvex");
}

TEST(CameraLinkWithoutCamera, TransfersFailWithTheirMessages) {
  testing::TestRig rig;
  rig.corvex.camera.transferByteCount = 8;
  WriteCommand(rig.corvex.camera);
  EXPECT_EQ(ReadReply(rig.corvex.camera), 0u);
  EXPECT_EQ(rig.host.MessageTexts(),
            (std::vector<std::string>{"Could not write KAMIO Output - try rebooting USB device",
                                      "Error " + std::to_string(EBADF) +
                                          " trying to read KAMIO data from USB\n"}));
}

}  // namespace
}  // namespace corvex
