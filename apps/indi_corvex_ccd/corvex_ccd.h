// The INDI device "Corvex CCD": the main camera as the primary chip, exposed on a thread of
// its own so that INDI's event loop stays free to answer abort and property requests while
// a frame is being exposed or read.
#pragma once

#include <libindi/indiccd.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/exposures.h"
#include "driver_camera.h"
#include "indi_host.h"
#include "state/image_store.h"

namespace corvex::indi {

inline constexpr const char* kDeviceName = "Corvex CCD";
inline constexpr int kMinExposureMs = 1;
inline constexpr int kMaxExposureMs = 90 * 60 * 1000;
// Above this an exposure is timed in whole seconds, so that an abort always ends its wait.
inline constexpr int kWholeSecondsFromMs = 10000;
inline constexpr double kPixelWidthMicrons = 9.8;
inline constexpr double kPixelHeightMicrons = 12.6;

// How an exposure of `ms` is timed: whole seconds as a capture run times seconds (register
// clears and their waits, which an abort ends), anything else in thousandths, which the
// camera times itself up to a second and the driver above it; those run to their end, at
// most ten seconds. Above ten seconds the time is rounded to whole seconds.
ExposureTiming DriverExposureTiming(int ms);

class CorvexCcd final : public INDI::CCD {
 public:
  CorvexCcd();
  ~CorvexCcd() override;

  const char* getDefaultName() override { return kDeviceName; }
  bool initProperties() override;
  void ISGetProperties(const char* dev) override;
  bool updateProperties() override;
  bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                   int n) override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                   int n) override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  bool StartExposure(float duration) override;
  bool AbortExposure() override;
  bool UpdateCCDFrame(int x, int y, int w, int h) override;
  bool UpdateCCDBin(int hor, int ver) override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;

 private:
  enum class Job { kIdle, kRunning, kDone };

  void DeliverHostMessages();
  void FinishMainExposure();
  // Sends a finished FITS file as the frame of `chip` on its BLOB `property` and marks the
  // exposure complete.
  void SendFrame(INDI::CCDChip& chip, const char* property, const std::vector<std::uint8_t>& file);
  void StopWorker();

  IndiHost host_;
  DriverCamera camera_{host_};

  // Connection options, shown while disconnected too.
  INDI::PropertySwitch SourceSP{2};     // camera on USB, or the simulated observatory
  INDI::PropertySwitch ProductIdSP{1};  // open a camera whatever its product id
  INDI::PropertyNumber SeedNP{1};       // the simulator's seed

  // The exposure thread and what it hands back to the event loop.
  std::thread worker_;
  std::atomic<Job> job_{Job::kIdle};
  std::atomic<bool> cancel_{false};
  ExposureOutcome outcome_ = ExposureOutcome::kRead;
  ExposureTiming timing_;
  std::int64_t startMs_ = 0;        // on the camera's clock
  std::int64_t startCalendar_ = 0;  // calendar seconds, for the file's dates
  std::int64_t endCalendar_ = 0;
  double lastReportedLeft_ = -1;
  ImageBuffer image_;
};

}  // namespace corvex::indi
