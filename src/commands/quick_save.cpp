// The numbered quick save, and what it tells the user when it cannot save.
#include "commands/quick_save.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <span>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/file_messages.h"
#include "files/fits_file.h"
#include "files/settings_file.h"
#include "platform/atomic_file.h"
#include "platform/calendar.h"
#include "platform/file_error.h"
#include "state/messages.h"

namespace corvex {

namespace {
constexpr unsigned kDiskSpaceMessage = 6;  // "Unable to create file, check disk space"
}  // namespace

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

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Every name in the directory, in lower case: a FAT card or another system's share may not
// tell IMG5.FIT from img5.fit, so neither is written over. Empty when the directory cannot be
// listed; the final step still never replaces an existing file.
std::unordered_set<std::string> TakenNames(const std::filesystem::path& directory) {
  std::unordered_set<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    names.insert(Lower(it->path().filename().string()));
  }
  return names;
}

std::string FileName(int number) {
  return kAutosavePrefix + std::to_string(number) + ".FIT";
}

// Writes `bytes` under the first free number after the counter, moving the counter to it.
// Returns the result with `file` set, or code 1 when nothing could be written.
QuickSaveResult WriteUnderFreeNumber(Corvex& corvex, std::span<const std::uint8_t> bytes) {
  QuickSaveResult result;
  int& counter = corvex.state.settings.lastFileNumber;
  const std::filesystem::path directory = AutosaveFilePath(corvex, 1).parent_path();
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const std::unordered_set<std::string> taken = TakenNames(directory);

  int number = counter;
  for (int tried = 0; tried < kLastFileNumberLimit; ++tried) {
    number = NextFileNumber(number);
    if (taken.count(Lower(FileName(number))) != 0) continue;
    counter = number;
    result.file = directory / FileName(number);
    int error = 0;
    if (WriteFileAtomically(result.file, bytes, &error, ExistingFile::kKeep)) return result;
    // Another program took the name since the directory was listed: try the next one.
    if (error != EEXIST) {
      result.code = kQuickSaveImageFailed;
      result.error = error;
      return result;
    }
  }
  result.code = kQuickSaveImageFailed;
  result.error = EEXIST;
  result.noFreeNumber = true;
  result.file = directory;
  return result;
}

}  // namespace

QuickSaveResult QuickSaveImage(Corvex& corvex) {
  ProgramState& state = corvex.state;

  // The frame is stamped with the middle of its exposure.
  state.exposureStartTime += (state.exposureEndTime - state.exposureStartTime) / 2;
  corvex.fits.observationTime = FormatObservationTime(state.exposureStartTime);
  corvex.fits.observationDate = FormatObservationDate(state.exposureStartTime);

  const PlaneView planes = MainPlanes(corvex.store);
  const std::vector<std::uint8_t> bytes =
      EncodeFitsFile(corvex.store.currentImage, corvex.fits, corvex.history,
                     state.colourConverted ? &planes : nullptr);
  QuickSaveResult result = WriteUnderFreeNumber(corvex, bytes);
  result.settingsFile = corvex.paths.SettingsFile();
  if (result.code != kQuickSaved) return result;
  if (corvex.quickSaved) corvex.quickSaved(result.file);

  // The counter survives in the settings file.
  int error = 0;
  if (WriteSettingsFile(corvex, result.settingsFile, &error) != kSettingsOk) {
    result.code = kQuickSaveSettingsFailed;
    result.error = error;
  }
  return result;
}

int QuickSaveFits(Corvex& corvex) {
  return QuickSaveImage(corvex).code;
}

void ReportQuickSave(Corvex& corvex, const QuickSaveResult& result) {
  Host& host = corvex.host;
  if (result.code == kQuickSaveImageFailed && result.noFreeNumber) {
    ShowMessage(host, kFreeTextMessage,
                "Unable to create file: every name from IMG1.FIT to IMG" +
                    std::to_string(kLastFileNumberLimit) + ".FIT is taken in " +
                    result.file.string());
  } else if (result.code == kQuickSaveImageFailed) {
    ShowWriteFailure(host, kDiskSpaceMessage, result.file, result.error);
  } else if (result.code == kQuickSaveSettingsFailed) {
    ShowMessage(host, kFreeTextMessage,
                "Saved " + result.file.string() + ", but the settings file " +
                    result.settingsFile.string() +
                    " could not be written: " + FileErrorText(result.settingsFile, result.error) +
                    ".\nThe file number was not stored; the next save still takes a free one.");
  }
}

}  // namespace corvex
