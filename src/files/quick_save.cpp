#include "files/quick_save.h"

#include <cstdio>
#include <system_error>

#include "corvex.h"
#include "files/fits_file.h"
#include "files/settings_file.h"
#include "platform/calendar.h"

namespace corvex {

int NextFileNumber(int lastFileNumber) {
  return lastFileNumber >= kLastFileNumberLimit ? 1 : lastFileNumber + 1;
}

std::filesystem::path AutosaveFilePath(const Corvex& corvex, int number) {
  const std::string& directory = corvex.state.settings.autosaveDirectory;
  const std::string name = kAutosavePrefix + std::to_string(number) + ".FIT";
  if (Paths::IsWindowsForm(directory)) return corvex.paths.Map(directory + "\\" + name);
  return std::filesystem::path(directory) / name;
}

std::string SavingImageText(std::string_view autosaveDirectory, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%5d", number);
  return std::string(autosaveDirectory) + digits + ".IMG";
}

std::string FormatObservationDate(std::int64_t calendarSeconds) {
  const UtcTime t = BreakDownUtc(calendarSeconds);
  return std::to_string(t.day) + "/" + std::to_string(t.month) + "/" +
         (t.year % 100 < 10 ? "0" : "") + std::to_string(t.year % 100);
}

std::string FormatObservationTime(std::int64_t calendarSeconds) {
  const UtcTime t = BreakDownUtc(calendarSeconds);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

int QuickSaveFits(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.settings.lastFileNumber = NextFileNumber(state.settings.lastFileNumber);
  const std::filesystem::path path = AutosaveFilePath(corvex, state.settings.lastFileNumber);

  // The frame is stamped with the middle of its exposure.
  state.exposureStartTime += (state.exposureEndTime - state.exposureStartTime) / 2;
  corvex.fits.observationTime = FormatObservationTime(state.exposureStartTime);
  corvex.fits.observationDate = FormatObservationDate(state.exposureStartTime);

  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  const PlaneView planes = MainPlanes(corvex.store);
  if (WriteFitsFile(path, corvex.store.currentImage, corvex.fits, corvex.history,
                    state.colourConverted ? &planes : nullptr) != kFitsOk) {
    return kFitsFailed;
  }
  return WriteSettingsFile(corvex);
}

}  // namespace corvex
