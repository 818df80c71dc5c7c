#include "corvex_ccd.h"

#include <libindi/indilogger.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "camera_jobs.h"
#include "files/fits_header_fields.h"
#include "files/standard_fits.h"
#include "platform/atomic_file.h"
#include "processing/colour_adjustments.h"
#include "processing/processing_history.h"

namespace corvex::indi {

namespace {

constexpr int kPollMs = 100;  // how soon the event loop sees finished work
constexpr int kSensorWidth = kStandardFitsWidth;
constexpr int kFormatRaw = 0;
constexpr int kFormatColour = 1;
constexpr int kCleanupDark = 0;
constexpr int kCleanupHotPixels = 1;
constexpr int kTruthMountX = 0;
constexpr int kTruthMountY = 1;
constexpr int kTruthFilter = 2;
constexpr const char* kSimulatorTab = "Simulator";

ImageType ImageTypeOf(INDI::CCDChip::CCD_FRAME frame) {
  switch (frame) {
    case INDI::CCDChip::DARK_FRAME:
    case INDI::CCDChip::BIAS_FRAME:  // a bias is a dark of the shortest exposure
      return ImageType::kDark;
    case INDI::CCDChip::FLAT_FRAME:
      return ImageType::kFlat;
    default:
      return ImageType::kLight;
  }
}

struct FrameFacts {
  double seconds = 0;
  ImageType type = ImageType::kLight;
  std::int64_t startCalendar = 0;
  std::int64_t endCalendar = 0;
  const ProgramSettings* settings = nullptr;
};

// The standard FITS file of a frame; empty when cfitsio could not build it.
std::vector<std::uint8_t> FrameFile(std::span<const std::uint16_t> image, const PlaneView* planes,
                                    const FrameFacts& facts) {
  FitsHeaderFields fields;
  fields.exposureSeconds = facts.seconds;
  fields.pixelWidth = kPixelWidthMicrons / 1000;
  fields.pixelHeight = kPixelHeightMicrons / 1000;
  StandardFitsExtras extras;
  extras.imageType = facts.type;
  extras.creator = std::string("Corvex ") + CORVEX_VERSION + " (indi_corvex_ccd)";
  extras.phase = {facts.settings->pixelOffset, facts.settings->lineOffset};
  extras.saturation = std::clamp(facts.settings->saturationFactor, 1, 9);
  SetExposureDates(facts.startCalendar, facts.endCalendar, extras);
  ProcessingHistory history;
  if (planes != nullptr) AddHistoryLabel(history, "Colour Synthesis");
  return EncodeStandardFits(image, planes, fields, history, extras);
}

}  // namespace

ExposureTiming DriverExposureTiming(int ms) {
  ms = std::clamp(ms, kMinExposureMs, kMaxExposureMs);
  if (ms > kWholeSecondsFromMs) ms = (ms + 500) / 1000 * 1000;
  if (ms >= 1000 && ms % 1000 == 0) return TimeExposure(ms / 1000, 's');
  return TimeExposure(ms, 'q');
}

void JobQueue::Start() {
  Stop();
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void JobQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void JobQueue::Add(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

void JobQueue::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

CorvexCcd::CorvexCcd() : INDI::FilterInterface(this) {
  setVersion(0, 2);
}

CorvexCcd::~CorvexCcd() {
  StopWorkers();
}

bool CorvexCcd::initProperties() {
  INDI::CCD::initProperties();

  SetCCDCapability(CCD_CAN_ABORT | CCD_HAS_GUIDE_HEAD | CCD_HAS_ST4_PORT);
  // The sensor's colour matrix is no RGB Bayer pattern, so no client could debayer it: colour
  // goes out as an RGB cube made here.
  addCaptureFormat({"INDI_MONO", "Raw 16-bit", 16, true});
  addCaptureFormat({"INDI_RGB", "Colour (RGB)", 16, false});

  PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", kMinExposureMs / 1000.0,
                           kMaxExposureMs / 1000.0, 1, false);
  GuideCCD.setMinMaxStep("GUIDER_EXPOSURE", "GUIDER_EXPOSURE_VALUE", kMinGuideExposureMs / 1000.0,
                         kMaxGuideExposureMs / 1000.0, 1, false);

  const bool simulate = SimulatorRequestedByEnvironment();
  SourceSP[0].fill("CAMERA", "Camera on USB", simulate ? ISS_OFF : ISS_ON);
  SourceSP[1].fill("SIMULATOR", "Simulated observatory", simulate ? ISS_ON : ISS_OFF);
  SourceSP.fill(getDeviceName(), "CORVEX_SOURCE", "Camera", CONNECTION_TAB, IP_RW, ISR_1OFMANY, 60,
                IPS_IDLE);
  ProductIdSP[0].fill("ANY", "Any product id", ISS_OFF);
  ProductIdSP.fill(getDeviceName(), "CORVEX_PRODUCT_ID", "Product id", CONNECTION_TAB, IP_RW,
                   ISR_NOFMANY, 60, IPS_IDLE);
  SeedNP[0].fill("SEED", "Seed", "%.0f", 0, 4294967295.0, 1,
                 static_cast<double>(SeedFromEnvironment().value_or(1)));
  SeedNP.fill(getDeviceName(), "CORVEX_SIM_SEED", "Simulator", CONNECTION_TAB, IP_RW, 60, IPS_IDLE);

  GuiderCleanupSP[kCleanupDark].fill("DARK", "Subtract guider dark", ISS_OFF);
  GuiderCleanupSP[kCleanupHotPixels].fill("HOT_PIXELS", "Remove hot pixels", ISS_ON);
  GuiderCleanupSP.fill(getDeviceName(), "CORVEX_GUIDER_CLEANUP", "Clean-up", GUIDE_HEAD_TAB, IP_RW,
                       ISR_NOFMANY, 60, IPS_IDLE);

  SimTruthNP[kTruthMountX].fill("MOUNT_X", "Mount RA offset (px)", "%.3f", -1e6, 1e6, 0, 0);
  SimTruthNP[kTruthMountY].fill("MOUNT_Y", "Mount Dec offset (px)", "%.3f", -1e6, 1e6, 0, 0);
  SimTruthNP[kTruthFilter].fill("FILTER", "Wheel slot", "%.0f", 0, kFilterSlots, 1, 0);
  SimTruthNP.fill(getDeviceName(), "CORVEX_SIM_TRUTH", "Truth", kSimulatorTab, IP_RO, 60, IPS_IDLE);

  INDI::FilterInterface::initProperties(FILTER_TAB);
  FilterSlotN[0].min = 1;
  FilterSlotN[0].max = kFilterSlots;
  setDriverInterface(getDriverInterface() | FILTER_INTERFACE);

  setDefaultPollingPeriod(kPollMs);
  addDebugControl();
  addConfigurationControl();
  return true;
}

void CorvexCcd::ISGetProperties(const char* dev) {
  INDI::CCD::ISGetProperties(dev);
  defineProperty(SourceSP);
  defineProperty(ProductIdSP);
  defineProperty(SeedNP);
  loadConfig(true, SourceSP.getName());
  loadConfig(true, ProductIdSP.getName());
  loadConfig(true, SeedNP.getName());
}

bool CorvexCcd::updateProperties() {
  if (isConnected()) ShowFilterNames();
  INDI::CCD::updateProperties();
  INDI::FilterInterface::updateProperties();
  if (isConnected()) {
    SetCCDParams(kSensorWidth, kImageRows, 16, kPixelWidthMicrons, kPixelHeightMicrons);
    // The guider frame goes out on the main camera's grid (see LayGuiderFrame). Its pixel
    // size is not known to the program; the main camera's stands in for it.
    SetGuiderParams(kSensorWidth, kImageRows, 16, kPixelWidthMicrons, kPixelHeightMicrons);
    defineProperty(GuiderCleanupSP);
    loadConfig(true, GuiderCleanupSP.getName());
    if (camera_.observatory() != nullptr) defineProperty(SimTruthNP);
    SetTimer(getCurrentPollingPeriod());
  } else {
    deleteProperty(GuiderCleanupSP.getName());
    deleteProperty(SimTruthNP.getName());
  }
  return true;
}

bool CorvexCcd::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                            int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0) {
    if (SourceSP.isNameMatch(name) || ProductIdSP.isNameMatch(name)) {
      INDI::PropertySwitch& property = SourceSP.isNameMatch(name) ? SourceSP : ProductIdSP;
      if (isConnected()) {
        LOG_WARN("Disconnect before choosing another camera.");
        property.setState(IPS_ALERT);
        property.apply();
        return true;
      }
      property.update(states, names, n);
      property.setState(IPS_OK);
      saveConfig(true, property.getName());
      property.apply();
      return true;
    }
    if (GuiderCleanupSP.isNameMatch(name)) {
      GuiderCleanupSP.update(states, names, n);
      GuiderCleanupSP.setState(IPS_OK);
      if (GuiderCleanupSP[kCleanupDark].getState() == ISS_ON && !guiderDarkTaken_) {
        LOG_WARN(
            "No guider dark has been taken yet: expose the guide head with the frame type "
            "Dark first. Until then guider frames go out without a dark subtracted.");
        GuiderCleanupSP.setState(IPS_ALERT);
      }
      // Saved before the client hears of it, so the new state is never ahead of the file.
      saveConfig(true, GuiderCleanupSP.getName());
      GuiderCleanupSP.apply();
      return true;
    }
    if (EncodeFormatSP.isNameMatch(name)) {
      // Frames are always the program's own standard FITS: keep the choice on FITS.
      EncodeFormatSP.reset();
      EncodeFormatSP[FORMAT_FITS].setState(ISS_ON);
      EncodeFormatSP.setState(IPS_OK);
      EncodeFormatSP.apply();
      return true;
    }
  }
  return INDI::CCD::ISNewSwitch(dev, name, states, names, n);
}

bool CorvexCcd::ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                            int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0) {
    if (SeedNP.isNameMatch(name)) {
      if (isConnected()) {
        LOG_WARN("Disconnect before changing the simulator's seed.");
        SeedNP.setState(IPS_ALERT);
        SeedNP.apply();
        return true;
      }
      SeedNP.update(values, names, n);
      SeedNP.setState(IPS_OK);
      saveConfig(true, SeedNP.getName());
      SeedNP.apply();
      return true;
    }
    if (std::strcmp(name, FilterSlotNP.name) == 0) {
      INDI::FilterInterface::processNumber(dev, name, values, names, n);
      return true;
    }
  }
  return INDI::CCD::ISNewNumber(dev, name, values, names, n);
}

bool CorvexCcd::ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 && FilterNameTP != nullptr &&
      std::strcmp(name, FilterNameTP->name) == 0) {
    INDI::FilterInterface::processText(dev, name, texts, names, n);
    return true;
  }
  return INDI::CCD::ISNewText(dev, name, texts, names, n);
}

bool CorvexCcd::Connect() {
  CameraChoice choice;
  choice.simulate = SourceSP[1].getState() == ISS_ON;
  choice.anyProductId = ProductIdSP[0].getState() == ISS_ON;
  choice.seed = static_cast<std::uint64_t>(std::llround(SeedNP[0].getValue()));
  ProgramSettingsRead read = ReadProgramSettings();
  settings_ = read.settings;
  if (read.note) LOGF_WARN("%s", read.note->c_str());
  const auto problem = camera_.Open(choice);
  DeliverHostMessages();
  if (problem) {
    LOGF_ERROR("%s.", problem->c_str());
    return false;
  }
  linkJobs_.Start();
  pulsing_[0] = pulsing_[1] = false;
  LOGF_INFO("%s connected.", choice.simulate ? "Simulated observatory" : "Camera");
  return true;
}

bool CorvexCcd::Disconnect() {
  StopWorkers();
  camera_.Close();
  DeliverHostMessages();
  return true;
}

bool CorvexCcd::StartExposure(float duration) {
  if (!camera_.IsOpen()) {
    LOG_ERROR("The camera is not connected.");
    return false;
  }
  RunPosted();  // an exposure that is over but not yet seen by the event loop
  if (job_ != Job::kIdle) {
    LOG_ERROR("The camera is still finishing the last exposure; try again in a moment.");
    return false;
  }
  const int ms = static_cast<int>(std::lround(static_cast<double>(duration) * 1000));
  timing_ = DriverExposureTiming(ms);
  if (timing_.exposureMs != ms) {
    LOGF_INFO(
        "Exposing for %.3f s: exposures run from 0.001 s to 90 minutes, in whole "
        "seconds above 10 s.",
        timing_.exposureMs / 1000.0);
  }
  PrimaryCCD.setExposureDuration(timing_.exposureMs / 1000.0);
  if (worker_.joinable()) worker_.join();
  cancel_ = false;
  lastReportedLeft_ = -1;
  startMs_ = camera_.clock().NowMs();
  startCalendar_ = camera_.clock().CalendarSeconds();
  job_ = Job::kRunning;
  FrameFacts facts;
  facts.seconds = timing_.exposureMs / 1000.0;
  facts.type = ImageTypeOf(PrimaryCCD.getFrameType());
  facts.startCalendar = startCalendar_;
  const bool colour = colour_;
  worker_ = std::thread([this, facts, colour, settings = settings_]() mutable {
    ExposureOutcome outcome =
        ExposeMain(camera_, timing_, image_, [this] { return cancel_.load(); });
    std::vector<std::uint8_t> file;
    if (outcome == ExposureOutcome::kRead && !cancel_) {
      // The file is built here, off the event loop: synthesis and its filters take a while.
      facts.endCalendar = camera_.clock().CalendarSeconds();
      facts.settings = &settings;
      if (colour) {
        SynthesizeColour(image_, settings, luminance_, planes_, planesDetail_, planesScratch_);
        const PlaneView planes = ViewOf(planes_);
        file = FrameFile(luminance_.span().first(kImageValues), &planes, facts);
      } else {
        file = FrameFile(image_.span().first(kImageValues), nullptr, facts);
      }
    }
    Post([this, outcome, file = std::move(file)]() mutable {
      FinishMainExposure(outcome, std::move(file));
    });
  });
  return true;
}

bool CorvexCcd::AbortExposure() {
  // The wait ends at its next turn (within 20 ms); the thread then finishes on its own and
  // nothing is read.
  cancel_ = true;
  return true;
}

void CorvexCcd::FinishMainExposure(ExposureOutcome outcome, std::vector<std::uint8_t> file) {
  if (worker_.joinable()) worker_.join();
  job_ = Job::kIdle;
  DeliverHostMessages();
  if (outcome == ExposureOutcome::kCancelled || cancel_) {
    LOG_INFO("Exposure aborted; its frame was not sent.");
    return;
  }
  if (outcome == ExposureOutcome::kReadFailed) {
    LOG_ERROR(
        "The camera did not answer every request of this exposure, so its frame was not "
        "sent. Check the cable, then disconnect and connect again.");
    PrimaryCCD.setExposureFailed();
    return;
  }
  if (file.empty()) {
    LOG_ERROR("The FITS file could not be built (out of memory); no frame was sent.");
    PrimaryCCD.setExposureFailed();
    return;
  }
  PrimaryCCD.setExposureLeft(0);
  SendFrame(PrimaryCCD, "CCD1", file, startCalendar_);
}

bool CorvexCcd::StartGuideExposure(float duration) {
  if (!camera_.IsOpen()) {
    LOG_ERROR("The camera is not connected.");
    return false;
  }
  RunPosted();
  if (guideJob_ != Job::kIdle) {
    LOG_ERROR("The guider camera is still finishing the last frame; try again in a moment.");
    return false;
  }
  const int ms = static_cast<int>(std::lround(static_cast<double>(duration) * 1000));
  guideMs_ = std::clamp(ms, kMinGuideExposureMs, kMaxGuideExposureMs);
  if (guideMs_ != ms) {
    LOGF_INFO("Exposing the guider for %.2f s: it exposes from 0.01 s to 10 s.", guideMs_ / 1000.0);
  }
  GuideCCD.setExposureDuration(guideMs_ / 1000.0);
  if (guideWorker_.joinable()) guideWorker_.join();
  guideCancel_ = false;
  guideLastReportedLeft_ = -1;
  guideStartMs_ = camera_.clock().NowMs();
  guideStartCalendar_ = camera_.clock().CalendarSeconds();
  guideJob_ = Job::kRunning;

  // A dark being taken is not cleaned with the dark it replaces.
  const bool dark = GuideCCD.getFrameType() == INDI::CCDChip::DARK_FRAME ||
                    GuideCCD.getFrameType() == INDI::CCDChip::BIAS_FRAME;
  GuiderExposureOptions options;
  options.exposureMs = guideMs_;
  options.dark = !dark && guiderDarkTaken_ && GuiderCleanupSP[kCleanupDark].getState() == ISS_ON
                     ? &guiderDark_
                     : nullptr;
  options.hotPixelFilter = GuiderCleanupSP[kCleanupHotPixels].getState() == ISS_ON;
  if (!dark && !guiderDarkTaken_ && GuiderCleanupSP[kCleanupDark].getState() == ISS_ON) {
    LOG_WARN("No guider dark has been taken yet; this frame goes out without one subtracted.");
  }
  FrameFacts facts;
  facts.seconds = guideMs_ / 1000.0;
  facts.type = ImageTypeOf(GuideCCD.getFrameType());
  facts.startCalendar = guideStartCalendar_;
  guideWorker_ = std::thread([this, options, facts, dark, settings = settings_]() mutable {
    const ExposureOutcome outcome = ExposeGuideHead(camera_, options, guiderImage_, guiderScratch_,
                                                    [this] { return guideCancel_.load(); });
    std::vector<std::uint8_t> file;
    if (outcome == ExposureOutcome::kRead && !guideCancel_) {
      facts.endCalendar = camera_.clock().CalendarSeconds();
      facts.settings = &settings;
      LayGuiderFrame(guiderImage_, guiderLaid_);
      file = FrameFile(guiderLaid_.span().first(kImageValues), nullptr, facts);
    }
    Post([this, outcome, dark, file = std::move(file)]() mutable {
      FinishGuideExposure(outcome, std::move(file), dark);
    });
  });
  return true;
}

bool CorvexCcd::AbortGuideExposure() {
  guideCancel_ = true;
  return true;
}

void CorvexCcd::FinishGuideExposure(ExposureOutcome outcome, std::vector<std::uint8_t> file,
                                    bool dark) {
  if (guideWorker_.joinable()) guideWorker_.join();
  guideJob_ = Job::kIdle;
  DeliverHostMessages();
  if (outcome == ExposureOutcome::kCancelled || guideCancel_) {
    LOG_INFO("Guider exposure aborted; its frame was not sent.");
    return;
  }
  if (outcome == ExposureOutcome::kReadFailed) {
    LOG_ERROR(
        "The guider camera's frame did not arrive whole, so it was not sent. Check the cable, "
        "then disconnect and connect again.");
    GuideCCD.setExposureFailed();
    return;
  }
  if (file.empty()) {
    LOG_ERROR("The FITS file could not be built (out of memory); no frame was sent.");
    GuideCCD.setExposureFailed();
    return;
  }
  if (dark) {
    CopyGuiderImage(guiderImage_, guiderDark_);
    guiderDarkTaken_ = true;
    LOGF_INFO("Guider dark of %.2f s kept; \"Subtract guider dark\" takes it off guider frames.",
              guideMs_ / 1000.0);
    if (GuiderCleanupSP.getState() == IPS_ALERT) {
      GuiderCleanupSP.setState(IPS_OK);
      GuiderCleanupSP.apply();
    }
  }
  GuideCCD.setExposureLeft(0);
  SendFrame(GuideCCD, "CCD2", file, guideStartCalendar_);
}

bool CorvexCcd::UpdateCCDFrame(int x, int y, int w, int h) {
  if (x != 0 || y != 0 || w != kSensorWidth || h != kImageRows) {
    LOG_WARN("The camera reads whole frames only.");
    return false;
  }
  return INDI::CCD::UpdateCCDFrame(x, y, w, h);
}

bool CorvexCcd::UpdateCCDBin(int hor, int ver) {
  if (hor != 1 || ver != 1) {
    LOG_WARN("The camera does not bin.");
    return false;
  }
  return INDI::CCD::UpdateCCDBin(hor, ver);
}

bool CorvexCcd::SetCaptureFormat(uint8_t index) {
  if (index != kFormatRaw && index != kFormatColour) return false;
  // Taken by the next exposure; one in progress keeps the format it started with.
  colour_ = index == kFormatColour;
  return true;
}

IPState CorvexCcd::GuideNorth(uint32_t ms) {
  return Pulse('n', ms, AXIS_DE);
}
IPState CorvexCcd::GuideSouth(uint32_t ms) {
  return Pulse('s', ms, AXIS_DE);
}
IPState CorvexCcd::GuideEast(uint32_t ms) {
  return Pulse('e', ms, AXIS_RA);
}
IPState CorvexCcd::GuideWest(uint32_t ms) {
  return Pulse('w', ms, AXIS_RA);
}

IPState CorvexCcd::Pulse(char direction, uint32_t ms, INDI_EQ_AXIS axis) {
  if (!camera_.IsOpen()) {
    LOG_ERROR("The camera is not connected.");
    return IPS_ALERT;
  }
  bool& pulsing = pulsing_[axis == AXIS_RA ? 0 : 1];
  if (pulsing) {
    LOG_WARN("A guide pulse on this axis is still running; this one was not sent.");
    return IPS_ALERT;
  }
  const std::uint8_t mask = PulseMask(direction, settings_);
  if (mask == 0) {
    LOG_ERROR(
        "The direction table in Corvex's settings names no relay for this direction; no pulse "
        "was sent.");
    return IPS_ALERT;
  }
  if (ms == 0) return IPS_OK;
  pulsing = true;
  linkJobs_.Add([this, mask, ms, axis] {
    const PulseOutcome outcome = PulseRelays(camera_, mask, ms);
    Post([this, outcome, axis] {
      pulsing_[axis == AXIS_RA ? 0 : 1] = false;
      DeliverHostMessages();
      if (outcome == PulseOutcome::kDone) {
        GuideComplete(axis);
        return;
      }
      LOG_ERROR(outcome == PulseOutcome::kNotMade
                    ? "The guide relays could not be closed; the pulse was not made."
                    : kStillMovingMessage);
      INDI::Property found = getProperty(
          axis == AXIS_RA ? "TELESCOPE_TIMED_GUIDE_WE" : "TELESCOPE_TIMED_GUIDE_NS", INDI_NUMBER);
      if (INDI::PropertyView<INumber>* numbers = found.isValid() ? found.getNumber() : nullptr) {
        numbers->setState(IPS_ALERT);
        numbers->apply();
      }
    });
  });
  return IPS_BUSY;
}

bool CorvexCcd::SelectFilter(int position) {
  if (!camera_.IsOpen()) {
    LOG_ERROR("The camera is not connected.");
    return false;
  }
  if (position < 1 || position > kFilterSlots) {
    LOGF_ERROR("The filter wheel has slots 1 to %d; slot %d was refused.", kFilterSlots, position);
    return false;
  }
  const int port = FilterWheelPortFor(settings_.comPortChar);
  linkJobs_.Add([this, port, position] {
    const bool moved = MoveFilter(camera_, port, position);
    Post([this, moved, position] {
      DeliverHostMessages();
      if (moved) {
        SelectFilterDone(position);
        return;
      }
      LOGF_ERROR("The filter wheel could not be told to go to slot %d.", position);
      FilterSlotNP.s = IPS_ALERT;
      IDSetNumber(&FilterSlotNP, nullptr);
    });
  });
  return true;
}

bool CorvexCcd::SetFilterNames() {
  // Kept for this session only: the names belong to Corvex's settings, which the driver
  // never writes.
  LOG_INFO("Filter names changed for this session; Corvex's settings keep their own.");
  return true;
}

bool CorvexCcd::GetFilterNames() {
  ShowFilterNames();
  return true;
}

void CorvexCcd::ShowFilterNames() {
  // The filter interface keeps an empty property until names are filled in; the slots and
  // their texts are then owned and freed by it, as the ones it makes itself.
  if (FilterNameTP == nullptr) FilterNameTP = new ITextVectorProperty{};
  if (FilterNameTP->ntp != kFilterSlots) {
    FilterNameT = new IText[kFilterSlots];
    std::memset(FilterNameT, 0, sizeof(IText) * kFilterSlots);
    for (int i = 0; i < kFilterSlots; ++i) {
      char name[MAXINDINAME];
      char label[MAXINDILABEL];
      std::snprintf(name, sizeof name, "FILTER_SLOT_NAME_%d", i + 1);
      std::snprintf(label, sizeof label, "Filter #%d", i + 1);
      IUFillText(&FilterNameT[i], name, label, "");
    }
    IUFillTextVector(FilterNameTP, FilterNameT, kFilterSlots, getDeviceName(), "FILTER_NAME",
                     "Filter", FILTER_TAB, IP_RW, 0, IPS_IDLE);
  }
  for (int i = 0; i < kFilterSlots; ++i) {
    IUSaveText(&FilterNameTP->tp[i], settings_.filterNames[static_cast<std::size_t>(i)].c_str());
  }
}

void CorvexCcd::TimerHit() {
  if (!isConnected()) return;
  RunPosted();
  DeliverHostMessages();
  const auto countDown = [this](INDI::CCDChip& chip, std::int64_t startMs, double seconds,
                                double& lastReported) {
    const double elapsed = (camera_.clock().NowMs() - startMs) / 1000.0;
    const double left = std::max(0.0, seconds - elapsed);
    // Often enough for a countdown in whole seconds, rarely enough not to flood the client.
    if (lastReported < 0 || lastReported - left >= 0.5 || left == 0) {
      if (left != lastReported) chip.setExposureLeft(left);
      lastReported = left;
    }
  };
  if (job_ == Job::kRunning && !cancel_ && PrimaryCCD.isExposing()) {
    countDown(PrimaryCCD, startMs_, timing_.exposureMs / 1000.0, lastReportedLeft_);
  }
  if (guideJob_ == Job::kRunning && !guideCancel_ && GuideCCD.isExposing()) {
    countDown(GuideCCD, guideStartMs_, guideMs_ / 1000.0, guideLastReportedLeft_);
  }
  UpdateSimulatorTruth();
  SetTimer(getCurrentPollingPeriod());
}

void CorvexCcd::UpdateSimulatorTruth() {
  if (camera_.observatory() == nullptr) return;
  // Never wait behind a readout here: the truth is shown at the next turn instead.
  LinkGroup group(camera_, true);
  if (!group.owns()) return;
  const sim::SimulatedObservatory& observatory = *camera_.observatory();
  const sim::PointingOffset guided = observatory.mount().GuidedAt(camera_.clock().NowMs());
  const double values[3] = {guided.x, guided.y, static_cast<double>(observatory.filterPosition())};
  bool changed = false;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(SimTruthNP[i].getValue() - values[i]) > 1e-6) {
      SimTruthNP[i].setValue(values[i]);
      changed = true;
    }
  }
  if (changed) {
    SimTruthNP.setState(IPS_OK);
    SimTruthNP.apply();
  }
}

void CorvexCcd::SendFrame(INDI::CCDChip& chip, const char* property,
                          const std::vector<std::uint8_t>& file, std::int64_t startCalendar) {
  const int mode = IUFindOnSwitchIndex(&UploadSP);
  const bool send = mode != UPLOAD_LOCAL;
  const bool save = mode == UPLOAD_LOCAL || mode == UPLOAD_BOTH;
  bool saved = true;
  if (save) {
    const std::filesystem::path path = LocalFramePath(
        UploadSettingsT[UPLOAD_DIR].text != nullptr ? UploadSettingsT[UPLOAD_DIR].text : ".",
        UploadSettingsT[UPLOAD_PREFIX].text != nullptr ? UploadSettingsT[UPLOAD_PREFIX].text
                                                       : "IMAGE_XXX",
        startCalendar);
    int error = 0;
    if (WriteFileAtomically(path, file, &error, ExistingFile::kKeep)) {
      IUSaveText(&FileNameT[0], path.c_str());
      FileNameTP.s = IPS_OK;
      IDSetText(&FileNameTP, nullptr);
    } else {
      LOGF_ERROR("The frame could not be saved as %s: %s.", path.c_str(), std::strerror(error));
      saved = false;
    }
  }
  if (send) {
    // The library's own upload would wrap the bytes in a file of its own (or send them as
    // ".bin"), so the finished FITS file goes out through the chip's BLOB directly.
    INDI::Property found = getProperty(property, INDI_BLOB);
    INDI::PropertyView<IBLOB>* blob = found.isValid() ? found.getBLOB() : nullptr;
    if (blob == nullptr || blob->count() < 1) {
      LOGF_ERROR("No %s property to send the frame on.", property);
      chip.setExposureFailed();
      return;
    }
    IBLOB& element = blob->bp[0];
    element.blob = const_cast<std::uint8_t*>(file.data());
    element.size = static_cast<int>(file.size());
    element.bloblen = static_cast<int>(file.size());
    std::snprintf(element.format, sizeof element.format, ".fits");
    blob->s = IPS_OK;
    IDSetBLOB(blob, nullptr);
    element.blob = nullptr;
    element.size = 0;
    element.bloblen = 0;
  }
  if (saved) {
    chip.setExposureComplete();
  } else {
    chip.setExposureFailed();
  }
}

void CorvexCcd::Post(std::function<void()> done) {
  std::lock_guard lock(postedMutex_);
  posted_.push_back(std::move(done));
}

void CorvexCcd::RunPosted() {
  std::vector<std::function<void()>> posted;
  {
    std::lock_guard lock(postedMutex_);
    posted.swap(posted_);
  }
  for (auto& done : posted) done();
}

void CorvexCcd::StopWorkers() {
  cancel_ = true;
  guideCancel_ = true;
  if (worker_.joinable()) worker_.join();
  if (guideWorker_.joinable()) guideWorker_.join();
  linkJobs_.Stop();
  {
    // What they finished is for a session that is over.
    std::lock_guard lock(postedMutex_);
    posted_.clear();
  }
  job_ = Job::kIdle;
  guideJob_ = Job::kIdle;
  pulsing_[0] = pulsing_[1] = false;
}

void CorvexCcd::DeliverHostMessages() {
  host_.Deliver([this](const HostMessage& message) {
    if (message.error) {
      LOGF_ERROR("%s", message.text.c_str());
    } else {
      LOGF_INFO("%s", message.text.c_str());
    }
  });
}

bool CorvexCcd::saveConfigItems(FILE* fp) {
  INDI::CCD::saveConfigItems(fp);
  SourceSP.save(fp);
  ProductIdSP.save(fp);
  SeedNP.save(fp);
  GuiderCleanupSP.save(fp);
  // Not the filter names: they are Corvex's settings and are read from them at every connect.
  return true;
}

}  // namespace corvex::indi
