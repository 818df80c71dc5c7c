// The INDI device "Corvex CCD": the main camera as the primary chip, the guider camera as the
// guide head, the guide relays as its ST4 port and the filter wheel on the camera's serial
// port. Exposures, pulses and filter moves run on threads of their own, so that INDI's event
// loop stays free to answer abort and property requests while a frame is exposed or read;
// what they finish is handed back to the event loop, which alone talks to the clients.
#pragma once

#include <libindi/indiccd.h>
#include <libindi/indifilterinterface.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/exposures.h"
#include "driver_camera.h"
#include "indi_host.h"
#include "state/image_store.h"
#include "state/program_settings.h"

namespace corvex::indi {

inline constexpr const char* kDeviceName = "Corvex CCD";
inline constexpr int kMinExposureMs = 1;
inline constexpr int kMaxExposureMs = 90 * 60 * 1000;
// Above this an exposure is timed in whole seconds, so that an abort always ends its wait.
inline constexpr int kWholeSecondsFromMs = 10000;
// The guider camera's exposures, as its own panel offers them: a hundredth to ten seconds.
inline constexpr int kMinGuideExposureMs = 10;
inline constexpr int kMaxGuideExposureMs = 10000;
inline constexpr double kPixelWidthMicrons = 9.8;
inline constexpr double kPixelHeightMicrons = 12.6;
inline constexpr int kFilterSlots = 7;

// How an exposure of `ms` is timed: whole seconds as a capture run times seconds (register
// clears and their waits, which an abort ends), anything else in thousandths, which the
// camera times itself up to a second and the driver above it; those run to their end, at
// most ten seconds. Above ten seconds the time is rounded to whole seconds.
ExposureTiming DriverExposureTiming(int ms);

// A thread that runs short link jobs (pulses, filter moves) one after another.
class JobQueue {
 public:
  JobQueue() = default;
  ~JobQueue() { Stop(); }
  JobQueue(const JobQueue&) = delete;
  JobQueue& operator=(const JobQueue&) = delete;

  void Start();
  // Lets the job in hand finish, drops the others and ends the thread.
  void Stop();
  void Add(std::function<void()> job);

 private:
  void Run();
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
};

class CorvexCcd final : public INDI::CCD, public INDI::FilterInterface {
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
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  bool StartExposure(float duration) override;
  bool AbortExposure() override;
  bool StartGuideExposure(float duration) override;
  bool AbortGuideExposure() override;
  bool UpdateCCDFrame(int x, int y, int w, int h) override;
  bool UpdateCCDBin(int hor, int ver) override;
  bool SetCaptureFormat(uint8_t index) override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;

  IPState GuideNorth(uint32_t ms) override;
  IPState GuideSouth(uint32_t ms) override;
  IPState GuideEast(uint32_t ms) override;
  IPState GuideWest(uint32_t ms) override;

  int QueryFilter() override { return CurrentFilter; }
  bool SelectFilter(int position) override;
  bool SetFilterNames() override;
  bool GetFilterNames() override;

 private:
  enum class Job { kIdle, kRunning };

  // Runs `done` on the event loop at its next turn (within the poll period).
  void Post(std::function<void()> done);
  void RunPosted();
  void DeliverHostMessages();
  void FinishMainExposure(ExposureOutcome outcome, std::vector<std::uint8_t> file);
  void FinishGuideExposure(ExposureOutcome outcome, std::vector<std::uint8_t> file, bool dark);
  // Sends (or saves, as the upload mode says) a finished FITS file as the frame of `chip` on
  // its BLOB `property` and ends the exposure: complete, or failed when it went nowhere.
  void SendFrame(INDI::CCDChip& chip, const char* property, const std::vector<std::uint8_t>& file,
                 std::int64_t startCalendar);
  IPState Pulse(char direction, uint32_t ms, INDI_EQ_AXIS axis);
  void ShowFilterNames();
  void UpdateSimulatorTruth();
  void StopWorkers();

  IndiHost host_;
  DriverCamera camera_{host_};
  ProgramSettings settings_;  // the program's, read at every connect

  // Connection options, shown while disconnected too.
  INDI::PropertySwitch SourceSP{2};     // camera on USB, or the simulated observatory
  INDI::PropertySwitch ProductIdSP{1};  // open a camera whatever its product id
  INDI::PropertyNumber SeedNP{1};       // the simulator's seed
  // The guider frame's clean-ups: the guider dark and the hot-pixel filter.
  INDI::PropertySwitch GuiderCleanupSP{2};
  // The simulated observatory's truth, shown when the driver runs on it: where the guide
  // pulses have moved the mount (main camera pixels) and the wheel's slot.
  INDI::PropertyNumber SimTruthNP{3};

  // Finished work handed to the event loop.
  std::mutex postedMutex_;
  std::vector<std::function<void()>> posted_;

  // The main exposure.
  std::thread worker_;
  std::atomic<Job> job_{Job::kIdle};
  std::atomic<bool> cancel_{false};
  bool colour_ = false;  // the capture format: the colour cube, else the raw frame
  ExposureTiming timing_;
  std::int64_t startMs_ = 0;        // on the camera's clock
  std::int64_t startCalendar_ = 0;  // calendar seconds, for the file's dates
  double lastReportedLeft_ = -1;
  ImageBuffer image_;
  ImageBuffer luminance_;
  ColourPlanes planes_, planesDetail_, planesScratch_;

  // The guide exposure.
  std::thread guideWorker_;
  std::atomic<Job> guideJob_{Job::kIdle};
  std::atomic<bool> guideCancel_{false};
  int guideMs_ = 0;
  std::int64_t guideStartMs_ = 0;
  std::int64_t guideStartCalendar_ = 0;
  double guideLastReportedLeft_ = -1;
  GuiderBuffer guiderImage_, guiderScratch_, guiderDark_;
  bool guiderDarkTaken_ = false;
  ImageBuffer guiderLaid_;

  // Pulses and filter moves; a pulse per axis at a time.
  JobQueue linkJobs_;
  bool pulsing_[2] = {false, false};
};

}  // namespace corvex::indi
