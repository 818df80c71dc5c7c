// The main camera's exposure as a device operation: the same requests at the same times as a
// capture run's exposure, a cancel, and a frame that does not arrive whole.
#include "camera/exposures.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "corvex.h"
#include "runs/capture_run.h"
#include "sim/observatory.h"
#include "support/fake_devices.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TimedWrite {
  std::int64_t atMs;
  Bytes bytes;
  bool operator==(const TimedWrite&) const = default;
};

// Every request a camera is sent, with the clock time it was sent at.
class RecordingDevice final : public CameraDevice {
 public:
  RecordingDevice(std::unique_ptr<CameraDevice> inner, const Clock& clock,
                  std::vector<TimedWrite>& log)
      : inner_(std::move(inner)), clock_(clock), log_(log) {}
  TransferResult Write(std::span<const std::uint8_t> bytes) override {
    log_.push_back({clock_.NowMs(), Bytes(bytes.begin(), bytes.end())});
    return inner_->Write(bytes);
  }
  TransferResult Read(std::span<std::uint8_t> into) override { return inner_->Read(into); }
  int HandleNumber() const override { return inner_->HandleNumber(); }
  DeviceDescription Describe() override { return inner_->Describe(); }

 private:
  std::unique_ptr<CameraDevice> inner_;
  const Clock& clock_;
  std::vector<TimedWrite>& log_;
};

class RecordingEnumerator final : public DeviceEnumerator {
 public:
  RecordingEnumerator(std::unique_ptr<DeviceEnumerator> inner, const Clock& clock,
                      std::vector<TimedWrite>& log)
      : inner_(std::move(inner)), clock_(clock), log_(log) {}
  bool Attach() override { return inner_->Attach(); }
  std::optional<InterfaceEntry> Interface(int memberIndex) override {
    return inner_->Interface(memberIndex);
  }
  std::unique_ptr<CameraDevice> Open(const std::string& path) override {
    auto device = inner_->Open(path);
    if (!device) return device;
    return std::make_unique<RecordingDevice>(std::move(device), clock_, log_);
  }
  void Release() override { inner_->Release(); }

 private:
  std::unique_ptr<DeviceEnumerator> inner_;
  const Clock& clock_;
  std::vector<TimedWrite>& log_;
};

// A rig on a simulated camera whose requests are recorded, times counted from the first.
struct RecordedRig {
  RecordedRig() {
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, testing::StillMount());
    rig.corvex.devices = std::make_unique<RecordingEnumerator>(
        sim::MakeSimulatedEnumerator(observatory), rig.clock, writes);
    EXPECT_TRUE(DiscoverCamera(rig.corvex.camera, *rig.corvex.devices, rig.corvex.state));
  }
  std::vector<TimedWrite> FromFirst() const {
    std::vector<TimedWrite> relative = writes;
    for (TimedWrite& write : relative) write.atMs -= writes.front().atMs;
    return relative;
  }

  testing::TestRig rig;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
  std::vector<TimedWrite> writes;
};

bool IsReadout(const TimedWrite& write) {
  return write.bytes[1] == kRequestDelayedReadout || write.bytes[1] == kRequestReadout;
}

struct ExposureCase {
  const char* name;
  int value;
  char unit;
  std::optional<std::int64_t> cancelAtMs;  // a cancel press at this time of the wait
};

class SameAsACaptureRun : public ::testing::TestWithParam<ExposureCase> {};

// A front end that pumps its host on every turn, as the run does, gets the run's requests to
// the byte and the millisecond: the clears, every register clear of the wait, the final clear
// and the readout with its delay; after a cancel the same requests and no readout.
TEST_P(SameAsACaptureRun, RequestsAndTimes) {
  const ExposureCase& c = GetParam();

  RecordedRig byRun;
  if (c.cancelAtMs) byRun.rig.host.CancelAt(*c.cancelAtMs);
  CaptureGuiding noGuiding;
  RunCapture(
      byRun.rig.corvex,
      [&c](Corvex& corvex) {
        corvex.state.exposureValue = c.value;
        corvex.state.exposureUnit = c.unit;
        return PanelOutcome::kTakePhoto;
      },
      noGuiding);

  RecordedRig byDevice;
  if (c.cancelAtMs) byDevice.rig.host.CancelAt(*c.cancelAtMs);
  byDevice.rig.host.PumpEvents();  // as the run looks for a cancel before its clears
  ImageBuffer image;
  const ExposureOutcome outcome =
      ExposeMainFrame(byDevice.rig.corvex.camera, TimeExposure(c.value, c.unit), image,
                      [&byDevice] { return byDevice.rig.host.PumpEvents(); });

  ASSERT_FALSE(byRun.writes.empty());
  EXPECT_EQ(byDevice.FromFirst(), byRun.FromFirst());
  const bool readOut = std::any_of(byDevice.writes.begin(), byDevice.writes.end(), IsReadout);
  if (c.cancelAtMs) {
    EXPECT_EQ(outcome, ExposureOutcome::kCancelled);
    EXPECT_FALSE(readOut) << "nothing is read after a cancel";
  } else {
    EXPECT_EQ(outcome, ExposureOutcome::kRead);
    EXPECT_TRUE(IsReadout(byDevice.writes.back()));
    for (int i = 0; i < kImageValues; ++i) {
      ASSERT_EQ(image[i], byRun.rig.corvex.store.currentImage[i]) << "the same frame, at " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryWait, SameAsACaptureRun,
    ::testing::Values(ExposureCase{"CameraTimed", 500, 'q', std::nullopt},
                      ExposureCase{"OneSecond", 1, 's', std::nullopt},
                      ExposureCase{"ShortSteps", 25, 't', std::nullopt},
                      ExposureCase{"SixProgressSteps", 7, 's', std::nullopt},
                      ExposureCase{"RegisterClears", 45, 's', std::nullopt},
                      ExposureCase{"Minutes", 2, 'm', std::nullopt},
                      ExposureCase{"Cancelled", 30, 's', 8000}),
    [](const ::testing::TestParamInfo<ExposureCase>& info) { return info.param.name; });

TEST(ExposureTiming, ByUnitAndLength) {
  EXPECT_EQ(TimeExposure(500, 'q').wait, ExposureWait::kCameraTimed);
  EXPECT_EQ(TimeExposure(10, 't').wait, ExposureWait::kCameraTimed) << "exactly a second";
  EXPECT_EQ(TimeExposure(11, 't').wait, ExposureWait::kShortSteps);
  EXPECT_EQ(TimeExposure(1, 's').wait, ExposureWait::kLongSteps);
  EXPECT_EQ(TimeExposure(90, 'm').exposureMs, 5400000);
  EXPECT_EQ(TimeExposure(90, 'm').progressSteps, 20);
}

TEST(ExposeMainFrame, AFrameThatComesBackShortIsNotRead) {
  testing::TestRig rig;
  testing::FakeEnumerator devices;
  devices.Add(0, testing::FakeDevicePath("1A2B", "7E21"));
  ASSERT_TRUE(DiscoverCamera(rig.corvex.camera, devices, rig.corvex.state));
  devices.log.replies.push_back({Bytes(1000, 0x22), true, 0});
  ImageBuffer image;
  image.Fill(1234);
  EXPECT_EQ(ExposeMainFrame(rig.corvex.camera, TimeExposure(2, 't'), image),
            ExposureOutcome::kReadFailed);
  EXPECT_EQ(image[6], 0x2222);
  EXPECT_EQ(image[512 + 6], 0) << "what did not arrive reads 0, never an earlier frame";
  EXPECT_EQ(rig.host.messages.size(), 1u) << "the link reported the short read";
}

}  // namespace
}  // namespace corvex
