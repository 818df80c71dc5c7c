#include "corvex_ccd.h"

#include <libindi/indilogger.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/fits_header_fields.h"
#include "files/standard_fits.h"
#include "processing/processing_history.h"

namespace corvex::indi {

namespace {

constexpr int kPollMs = 100;  // how soon the event loop sees a finished frame
constexpr int kSensorWidth = kStandardFitsWidth;

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

}  // namespace

ExposureTiming DriverExposureTiming(int ms) {
  ms = std::clamp(ms, kMinExposureMs, kMaxExposureMs);
  if (ms > kWholeSecondsFromMs) ms = (ms + 500) / 1000 * 1000;
  if (ms >= 1000 && ms % 1000 == 0) return TimeExposure(ms / 1000, 's');
  return TimeExposure(ms, 'q');
}

CorvexCcd::CorvexCcd() {
  setVersion(0, 1);
}

CorvexCcd::~CorvexCcd() {
  StopWorker();
}

bool CorvexCcd::initProperties() {
  INDI::CCD::initProperties();

  SetCCDCapability(CCD_CAN_ABORT);
  addCaptureFormat({"INDI_MONO", "Raw 16-bit", 16, true});

  PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", kMinExposureMs / 1000.0,
                           kMaxExposureMs / 1000.0, 1, false);

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
  INDI::CCD::updateProperties();
  if (isConnected()) {
    SetCCDParams(kSensorWidth, kImageRows, 16, kPixelWidthMicrons, kPixelHeightMicrons);
    SetTimer(getCurrentPollingPeriod());
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
      property.apply();
      saveConfig(true, property.getName());
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
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 && SeedNP.isNameMatch(name)) {
    if (isConnected()) {
      LOG_WARN("Disconnect before changing the simulator's seed.");
      SeedNP.setState(IPS_ALERT);
      SeedNP.apply();
      return true;
    }
    SeedNP.update(values, names, n);
    SeedNP.setState(IPS_OK);
    SeedNP.apply();
    saveConfig(true, SeedNP.getName());
    return true;
  }
  return INDI::CCD::ISNewNumber(dev, name, values, names, n);
}

bool CorvexCcd::Connect() {
  CameraChoice choice;
  choice.simulate = SourceSP[1].getState() == ISS_ON;
  choice.anyProductId = ProductIdSP[0].getState() == ISS_ON;
  choice.seed = static_cast<std::uint64_t>(std::llround(SeedNP[0].getValue()));
  const auto problem = camera_.Open(choice);
  DeliverHostMessages();
  if (problem) {
    LOGF_ERROR("%s.", problem->c_str());
    return false;
  }
  LOGF_INFO("%s connected.", choice.simulate ? "Simulated observatory" : "Camera");
  return true;
}

bool CorvexCcd::Disconnect() {
  StopWorker();
  camera_.Close();
  DeliverHostMessages();
  return true;
}

bool CorvexCcd::StartExposure(float duration) {
  if (!camera_.IsOpen()) {
    LOG_ERROR("The camera is not connected.");
    return false;
  }
  if (job_ == Job::kDone) FinishMainExposure();  // over, but the event loop has not seen it
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
  cancel_ = false;
  lastReportedLeft_ = -1;
  startMs_ = camera_.clock().NowMs();
  startCalendar_ = camera_.clock().CalendarSeconds();
  job_ = Job::kRunning;
  worker_ = std::thread([this] {
    CameraLink& link = camera_.link();
    const unsigned faultsBefore = link.transferFaults;
    outcome_ = ExposeMainFrame(link, timing_, image_, [this] { return cancel_.load(); });
    // A clear that never reached the camera spoils the exposure even when the readout
    // arrived whole: such a frame is not sent either.
    if (outcome_ == ExposureOutcome::kRead && link.transferFaults != faultsBefore) {
      outcome_ = ExposureOutcome::kReadFailed;
    }
    endCalendar_ = camera_.clock().CalendarSeconds();
    job_ = Job::kDone;
  });
  return true;
}

bool CorvexCcd::AbortExposure() {
  // The wait ends at its next turn (within 20 ms); the thread then finishes on its own and
  // nothing is read.
  cancel_ = true;
  return true;
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

void CorvexCcd::TimerHit() {
  if (!isConnected()) return;
  DeliverHostMessages();
  if (job_ == Job::kRunning && !cancel_ && PrimaryCCD.isExposing()) {
    const double elapsed = (camera_.clock().NowMs() - startMs_) / 1000.0;
    const double left = std::max(0.0, timing_.exposureMs / 1000.0 - elapsed);
    // Often enough for a countdown in whole seconds, rarely enough not to flood the client.
    if (lastReportedLeft_ < 0 || lastReportedLeft_ - left >= 0.5 || left == 0) {
      if (left != lastReportedLeft_) PrimaryCCD.setExposureLeft(left);
      lastReportedLeft_ = left;
    }
  }
  if (job_ == Job::kDone) FinishMainExposure();
  SetTimer(getCurrentPollingPeriod());
}

void CorvexCcd::FinishMainExposure() {
  worker_.join();
  job_ = Job::kIdle;
  DeliverHostMessages();
  if (outcome_ == ExposureOutcome::kCancelled || cancel_) {
    LOG_INFO("Exposure aborted; its frame was not sent.");
    return;
  }
  if (outcome_ == ExposureOutcome::kReadFailed) {
    LOG_ERROR(
        "The camera did not answer every request of this exposure, so its frame was not "
        "sent. Check the cable, then disconnect and connect again.");
    PrimaryCCD.setExposureFailed();
    return;
  }

  FitsHeaderFields fields;
  fields.exposureSeconds = timing_.exposureMs / 1000.0;
  fields.pixelWidth = kPixelWidthMicrons / 1000;
  fields.pixelHeight = kPixelHeightMicrons / 1000;
  StandardFitsExtras extras;
  extras.imageType = ImageTypeOf(PrimaryCCD.getFrameType());
  extras.creator = std::string("Corvex ") + CORVEX_VERSION + " (indi_corvex_ccd)";
  SetExposureDates(startCalendar_, endCalendar_, extras);
  const ProcessingHistory history;
  const std::vector<std::uint8_t> file =
      EncodeStandardFits(image_.span().first(kImageValues), nullptr, fields, history, extras);
  if (file.empty()) {
    LOG_ERROR("The FITS file could not be built (out of memory); no frame was sent.");
    PrimaryCCD.setExposureFailed();
    return;
  }
  PrimaryCCD.setExposureLeft(0);
  SendFrame(PrimaryCCD, "CCD1", file);
}

void CorvexCcd::SendFrame(INDI::CCDChip& chip, const char* property,
                          const std::vector<std::uint8_t>& file) {
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
  chip.setExposureComplete();
}

void CorvexCcd::StopWorker() {
  if (worker_.joinable()) {
    cancel_ = true;
    worker_.join();
  }
  job_ = Job::kIdle;
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
  return true;
}

}  // namespace corvex::indi
