#include "files/standard_fits_save.h"

#include "corvex.h"
#include "files/file_messages.h"

namespace corvex {

namespace {
constexpr unsigned kDiskSpaceMessage = 29;  // "Unable to create file, check disk space"
}  // namespace

StandardFitsExtras StandardFitsExtrasFor(const Corvex& corvex) {
  const ProgramSettings& settings = corvex.state.settings;
  StandardFitsExtras extras;
  extras.phase = {settings.pixelOffset, settings.lineOffset};
  extras.saturation = settings.saturationFactor;
  extras.creator = std::string("Corvex ") + CORVEX_VERSION;
  SetHeaderDates(corvex.fits, extras);
  return extras;
}

int SaveStandardFitsImage(Corvex& corvex, const std::filesystem::path& path, ImageType type) {
  StandardFitsExtras extras = StandardFitsExtrasFor(corvex);
  extras.imageType = type;
  corvex.host.SetWaitCursor(true);
  const PlaneView planes = MainPlanes(corvex.store);
  int error = 0;
  const bool written = WriteStandardFits(path, corvex.store.currentImage.span().first(kImageValues),
                                         corvex.state.colourConverted ? &planes : nullptr,
                                         corvex.fits, corvex.history, extras, &error);
  corvex.host.SetWaitCursor(false);
  if (!written) ShowWriteFailure(corvex.host, kDiskSpaceMessage, path, error);
  return written ? 0 : 1;
}

}  // namespace corvex
