// The request blocks byte for byte, the readout layouts, and the frame clean-ups.
#include "camera/camera_requests.h"

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "camera/exposures.h"
#include "commands/camera_commands.h"
#include "corvex.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CameraCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    devices.Add(0, testing::FakeDevicePath("1A2B", "7E21"));
    ASSERT_TRUE(DiscoverCamera(corvex.camera, devices, corvex.state));
    writes().clear();
  }
  std::vector<Bytes>& writes() { return devices.log.writes; }
  void Reply(std::size_t bytes, std::uint8_t fill = 0) {
    devices.log.replies.push_back({Bytes(bytes, fill), true, 0});
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  testing::FakeEnumerator devices;
};

TEST_F(CameraCommandsTest, ClearsRelaysSerialAndFilterRequests) {
  ClearRegister(corvex.camera);
  ClearSensor(corvex.camera);
  SetGuideRelays(corvex.camera, kRelayNorth);
  SerialWrite(corvex.camera, 1, "#:Mw#", 5);
  Reply(33, '#');
  EXPECT_EQ(SerialRead(corvex.camera, 1, 33), 33u);
  EXPECT_TRUE(SelectFilter(corvex, 3));
  EXPECT_FALSE(SelectFilter(corvex, 0));
  EXPECT_FALSE(SelectFilter(corvex, 8));
  ASSERT_EQ(writes().size(), 6u) << "positions outside 1-7 send nothing";
  EXPECT_EQ(writes()[0], (Bytes{0x40, 1, 8, 0, 0, 0, 0, 0}));
  EXPECT_EQ(writes()[1], (Bytes{0x40, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(writes()[2], (Bytes{0x40, 9, 0x04, 0, 0, 0, 0, 0}));
  EXPECT_EQ(writes()[3], (Bytes{0x40, 10, 0, 0, 1, 0, 5, 0, '#', ':', 'M', 'w', '#'}));
  EXPECT_EQ(writes()[4], (Bytes{0x40, 11, 0, 0, 1, 0, 33, 0}));
  // Filter wheel on port 2 until the program defaults choose the free port.
  EXPECT_EQ(writes()[5], (Bytes{0x40, 10, 0, 0, 2, 0, 4, 0, 0xA5, 0x01, 0x03, 0xA9}));
  EXPECT_EQ(devices.log.readSizes.back(), 33u);

  SerialWrite(corvex.camera, 0, std::string(100, 'x'), 100);
  EXPECT_EQ(writes().back().size(), 64u) << "a long text is cut to what the block holds";
}

TEST_F(CameraCommandsTest, FullFrameUsesTheDelayUpTo1000Ms) {
  corvex.state.fieldSelect = 2;
  for (int ms : {1000, 1001}) {
    corvex.state.exposureMs = ms;
    Reply(kFullFrameBytes);
    ReadFullFrame(corvex);
  }
  ASSERT_EQ(writes().size(), 2u);
  EXPECT_EQ(writes()[0], (Bytes{0x40, 2,    2,    0,    0,    0, 14, 0,    0,    0, 0,
                                0,    0xF4, 0x01, 0x22, 0x01, 1, 1,  0xE8, 0x03, 0, 0}));
  EXPECT_EQ(writes()[1],
            (Bytes{0x40, 3, 2, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0xF4, 0x01, 0x22, 0x01, 1, 1}));
  EXPECT_EQ(devices.log.readSizes.back(), 290000u);
}

TEST_F(CameraCommandsTest, FullFrameLandsInThePaddedLayout) {
  Bytes frame(kFullFrameBytes);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7 + 1);
  devices.log.replies.push_back({frame, true, 0});
  corvex.store.currentImage.Fill(0xFFFF);
  ReadFullFrame(corvex);
  const ImageBuffer& image = corvex.store.currentImage;
  EXPECT_EQ(image[5], 0);
  EXPECT_EQ(image[6], frame[0] | (frame[1] << 8)) << "column 6 of row 0 is the first value sent";
  EXPECT_EQ(image[505], frame[998] | (frame[999] << 8));
  EXPECT_EQ(image[506], 0);
  EXPECT_EQ(image[511], 0);
  EXPECT_EQ(image[512 + 6], frame[1000] | (frame[1001] << 8));
  EXPECT_EQ(image[289 * 512 + 505], frame[289999 - 1] | (frame[289999] << 8));
}

TEST_F(CameraCommandsTest, AShortReplyNeverShowsAnEarlierFrame) {
  devices.log.replies.push_back({Bytes(kFullFrameBytes, 0x11), true, 0});
  ReadFullFrame(corvex);
  devices.log.replies.push_back({Bytes(1000, 0x22), true, 0});  // one row, then nothing
  ReadFullFrame(corvex);
  EXPECT_EQ(corvex.store.currentImage[6], 0x2222);
  EXPECT_EQ(corvex.store.currentImage[512 + 6], 0) << "not the 0x1111 of the frame before";
  EXPECT_EQ(rig.host.messages.size(), 1u);  // the short read was reported
}

TEST_F(CameraCommandsTest, ExposuresThatComeBackShortSaySo) {
  corvex.store.currentImage.Fill(1234);
  corvex.state.exposureMs = 10;
  Reply(1000, 0x22);
  EXPECT_FALSE(ExposeFullFrame(corvex));
  EXPECT_EQ(corvex.store.currentImage[6], 1234);
  EXPECT_EQ(corvex.store.currentImage[512 + 6], 1234);

  corvex.state.exposureValue = 1;
  corvex.state.exposureUnit = 't';
  corvex.state.focusPeak = 777;
  Reply(kWindowBytes / 2, 0x33);
  EXPECT_EQ(FocusExposure(corvex), kFocusFrameFailed);
  EXPECT_EQ(corvex.state.focusPeak, 777);
  EXPECT_EQ(corvex.store.currentImage[0], 1234);
  EXPECT_EQ(corvex.store.currentImage[16383], 1234);

  Reply(kGuiderReplyBytes);  // the guider's clearing readout
  Reply(1000);
  EXPECT_FALSE(GuiderExposure(corvex));
  EXPECT_EQ(rig.host.messages.size(), 3u) << "each short read was reported by the link";
}

TEST_F(CameraCommandsTest, ReadoutTimeIsMeasuredOnlyWhenAsked) {
  corvex.state.exposureMs = 2000;
  corvex.state.readoutTimeMs = 10000;
  Reply(kFullFrameBytes);
  ReadFullFrame(corvex);
  EXPECT_EQ(corvex.state.readoutTimeMs, 10000);
  corvex.state.readoutTimeMs = 3000;
  Reply(kFullFrameBytes);
  ReadFullFrame(corvex);
  EXPECT_EQ(corvex.state.readoutTimeMs, 0) << "the fake camera answers in no time";
}

TEST_F(CameraCommandsTest, FocusFrameClearsWhileWaitingOnlyAboveOneSecond) {
  corvex.state.exposureValue = 9;
  corvex.state.exposureUnit = 't';  // 900 ms: the delay travels in the request
  Reply(kWindowBytes);
  FocusExposure(corvex);
  ASSERT_EQ(writes().size(), 3u);
  EXPECT_EQ(writes()[2], (Bytes{0x40, 2,   3, 0,   0, 0, 14, 0,    184,  0, 65,
                                0,    128, 0, 128, 0, 1, 1,  0x84, 0x03, 0, 0}));
  EXPECT_EQ(rig.clock.NowMs(), 0);

  writes().clear();
  corvex.state.exposureValue = 2;
  corvex.state.exposureUnit = 's';
  Reply(kWindowBytes);
  FocusExposure(corvex);
  EXPECT_EQ(rig.clock.NowMs(), 2000);
  const Bytes registerClear{0x40, 1, 8, 0, 0, 0, 0, 0};
  const auto clears = std::count(writes().begin(), writes().end(), registerClear);
  EXPECT_GE(clears, 2000 / kFocusClearIntervalMs);
  EXPECT_EQ(writes().back()[1], 3) << "after the wait the readout has no delay";
  EXPECT_EQ(writes().back().size(), 18u);
}

TEST_F(CameraCommandsTest, FocusPeakIgnoresLonePixels) {
  Bytes window(kWindowBytes, 0);
  const auto put = [&window](int row, int col, std::uint16_t v) {
    window[2 * (row * 128 + col)] = v & 0xFF;
    window[2 * (row * 128 + col) + 1] = v >> 8;
  };
  put(50, 50, 60000);  // hot pixel, dark above
  put(80, 40, 3000);   // a star two rows tall
  put(79, 40, 2900);
  put(5, 60, 9000);  // outside the rows searched
  put(6, 60, 9000);
  devices.log.replies.push_back({window, true, 0});
  corvex.state.exposureValue = 1;
  corvex.state.exposureUnit = 'h';
  EXPECT_EQ(FocusExposure(corvex), 3000);
  EXPECT_EQ(corvex.state.focusPeak, 3000);
}

TEST_F(CameraCommandsTest, SelfGuideWindowGainAndFields) {
  Bytes window(kWindowBytes, 0);
  window[0] = 0x20;  // 20000 = 0x4E20
  window[1] = 0x4E;
  window[2] = 100;
  devices.log.replies.push_back({window, true, 0});
  corvex.state.guideExposureMs = 500;
  corvex.state.guideWindowGain = 14;
  SelfGuideWindowExposure(corvex, true);
  EXPECT_EQ(corvex.store.currentImage[0], 65535) << "4 x 20000 is capped";
  EXPECT_EQ(corvex.store.currentImage[1], 400);
  EXPECT_EQ(writes()[1][2], 1) << "field 1 once the first half was read";

  devices.log.replies.push_back({window, true, 0});
  corvex.state.displayStretchActive = true;
  SelfGuideWindowExposure(corvex, false);
  EXPECT_EQ(corvex.store.currentImage[0], 20000);
  EXPECT_EQ(writes()[3][2], 2);
}

TEST_F(CameraCommandsTest, GuiderFrameRequestsAndHighBytes) {
  Bytes frame(kGuiderReplyBytes, 0x40);
  devices.log.replies.push_back({Bytes(kGuiderReplyBytes), true, 0});  // GuiderClear's dummy
  devices.log.replies.push_back({frame, true, 0});
  corvex.state.guiderExposureValue = 5;
  corvex.state.guiderExposureUnit = 't';
  corvex.state.guiderHotPixelFilter = false;
  corvex.state.guiderGain = 7;
  GuiderExposure(corvex);
  const Bytes readout{0x40, 3, 3, 0, 1, 0, 10, 0, 0, 0, 0, 0, 0xF4, 0x01, 0x22, 0x01, 1, 1};
  ASSERT_EQ(writes().size(), 4u);
  EXPECT_EQ(writes()[0], readout);
  EXPECT_EQ(writes()[1], (Bytes{0x40, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(writes()[2], (Bytes{0x40, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(writes()[3], readout);
  EXPECT_EQ(rig.clock.NowMs(), 500);
  EXPECT_EQ(corvex.store.guiderImage[1234], 0x4000 * 2) << "high byte, then gain x2";
}

TEST(GuiderCleanUp, HotPixelFilterFollowsTheNeighbourhoodRange) {
  GuiderBuffer image, scratch;
  image.Fill(100);
  const auto at = [](int row, int col) { return row * 500 + col; };
  image[at(10, 10)] = 1000;           // range 900, threshold 540, difference 900
  image[at(20, 20)] = 150;            // range 50, threshold 30, difference 50
  for (int dy = -1; dy <= 1; ++dy) {  // a smooth gradient: 90 to 110 around 100
    for (int dx = -1; dx <= 1; ++dx) image[at(30 + dy, 30 + dx)] = 100 + 10 * dx;
  }
  image[at(0, 0)] = 5000;  // border pixels are not filtered and keep their values
  image[at(289, 499)] = 7;
  FilterGuiderHotPixels(image, scratch);
  EXPECT_EQ(image[at(10, 10)], 100);
  EXPECT_EQ(image[at(20, 20)], 100);
  EXPECT_EQ(image[at(30, 30)], 100);
  EXPECT_EQ(image[at(0, 0)], 5000);
  EXPECT_EQ(image[at(289, 499)], 7);

  // Every value above 65000: the minimum used is 65000, so the range stays honest.
  image.Fill(65500);
  image[at(50, 50)] = 65535;  // range 535 from 65000, threshold 321, difference 35: kept
  FilterGuiderHotPixels(image, scratch);
  EXPECT_EQ(image[at(50, 50)], 65535);
}

TEST(GuiderCleanUp, HotPixelFilterMatchesAPlainMedianOnRandomFrames) {
  GuiderBuffer image, original, scratch;
  std::uint32_t x = 7;
  for (int i = 0; i < kGuiderValues; ++i) {
    x = x * 1664525u + 1013904223u;
    // Few distinct values, so ties are everywhere; some hot and some dead pixels.
    original[i] = static_cast<std::uint16_t>((x >> 29) * 900 + ((x >> 20) % 97 == 0 ? 60000 : 0));
  }
  std::copy(original.begin(), original.end(), image.begin());
  FilterGuiderHotPixels(image, scratch);
  for (int row = 1; row < 289; ++row) {
    for (int col = 1; col < 499; ++col) {
      std::array<int, 9> n;
      int k = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) n[k++] = original[(row + dy) * 500 + col + dx];
      }
      std::sort(n.begin(), n.end());
      const int centre = original[row * 500 + col];
      const int threshold = static_cast<int>((n[8] - std::min(n[0], 65000)) * 0.6f);
      const int expected = std::abs(n[4] - centre) > threshold ? n[4] : centre;
      ASSERT_EQ(image[row * 500 + col], expected) << row << "," << col;
    }
  }
}

TEST(GuiderCleanUp, DarkAndGainSaturate) {
  GuiderBuffer image, dark;
  image[0] = 1000;
  dark[0] = 400;
  image[1] = 300;
  dark[1] = 400;
  SubtractGuiderDark(image, dark);
  EXPECT_EQ(image[0], 600);
  EXPECT_EQ(image[1], 0);
  image[0] = 10000;
  ApplyGain(image.span(), GuiderGainFactor(5));
  EXPECT_EQ(image[0], 65535);
  EXPECT_EQ(GuiderGainFactor(8), 1);
  EXPECT_EQ(GuideWindowGainFactor(12), 16);
  EXPECT_EQ(GuideWindowGainFactor(16), 1);
}

}  // namespace
}  // namespace corvex
