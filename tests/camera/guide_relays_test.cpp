// Guide relay pulses as a device operation: the requests, their times on the session's
// clock, and what a pulse does when the relays cannot be closed or released.
#include "camera/guide_relays.h"

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

struct RelayRig {
  RelayRig() {
    devices.Add(0, testing::FakeDevicePath("1A2B", "7E21"));
    EXPECT_TRUE(DiscoverCamera(rig.corvex.camera, devices, rig.corvex.state));
  }
  CameraLink& camera() { return rig.corvex.camera; }
  // The relay mask of every guide-relay request written, in order.
  std::vector<int> Masks() const {
    std::vector<int> masks;
    for (const auto& write : devices.log.writes) {
      if (write.size() >= 3 && write[1] == kRequestGuideRelays) masks.push_back(write[2]);
    }
    return masks;
  }
  void FailWrite() {
    devices.log.writeResults.push_back({.ok = false, .bytes = 0, .errorCode = 5});
  }
  void PassWrite() { devices.log.writeResults.push_back({.ok = true, .bytes = 8, .errorCode = 0}); }

  testing::TestRig rig;
  testing::FakeEnumerator devices;
};

TEST(GuideRelays, DirectionLettersAndTheirBits) {
  EXPECT_EQ(RelayMask('w'), 0x01);
  EXPECT_EQ(RelayMask('s'), 0x02);
  EXPECT_EQ(RelayMask('n'), 0x04);
  EXPECT_EQ(RelayMask('e'), 0x08);
  EXPECT_EQ(RelayMask('E'), 0) << "only the table's own letters close a relay";
}

// 10 ms lead, the relays held for exactly the pulse, released, 300 ms to settle.
TEST(GuideRelays, APulseClosesHoldsAndReleases) {
  RelayRig r;
  const std::int64_t start = r.rig.clock.NowMs();
  EXPECT_EQ(PulseGuideRelays(r.camera(), RelayMask('e'), 1500), PulseOutcome::kDone);
  EXPECT_EQ(r.Masks(), (std::vector<int>{0x08, 0}));
  EXPECT_EQ(r.rig.clock.NowMs() - start, 10 + 1500 + 300);
  EXPECT_TRUE(r.rig.host.messages.empty());
}

TEST(GuideRelays, RelaysThatCannotBeClosedAreStillReleased) {
  RelayRig r;
  r.FailWrite();
  const std::int64_t start = r.rig.clock.NowMs();
  EXPECT_EQ(PulseGuideRelays(r.camera(), RelayMask('n'), 1500), PulseOutcome::kNotMade);
  EXPECT_EQ(r.Masks(), (std::vector<int>{0x04, 0}));
  EXPECT_EQ(r.rig.clock.NowMs() - start, 10 + 300) << "no hold without a closed relay";
}

// A release that never goes out is tried three times, 20 ms apart, and the user is told the
// mount may still be moving.
TEST(GuideRelays, AReleaseThatNeverGoesOutIsReported) {
  RelayRig r;
  r.PassWrite();
  for (int i = 0; i < kRelayReleaseAttempts; ++i) r.FailWrite();
  const std::int64_t start = r.rig.clock.NowMs();
  EXPECT_EQ(PulseGuideRelays(r.camera(), RelayMask('w'), 200), PulseOutcome::kStillMoving);
  EXPECT_EQ(r.Masks(), (std::vector<int>{0x01, 0, 0, 0}));
  EXPECT_EQ(r.rig.clock.NowMs() - start, 10 + 200 + 2 * kRelayReleaseRetryMs + 300);
  ASSERT_FALSE(r.rig.host.messages.empty());
  EXPECT_EQ(r.rig.host.messages.back().text, kStillMovingMessage);
}

}  // namespace
}  // namespace corvex
