// The numbered quick save, and what it tells the user when it cannot save.
#include "commands/quick_save.h"

#include <algorithm>
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
#include "files/program_options_file.h"
#include "files/settings_file.h"
#include "files/standard_fits.h"
#include "commands/file_commands.h"
#include "platform/atomic_file.h"
#include "platform/calendar.h"
#include "platform/file_error.h"
#include "state/messages.h"

namespace corvex {

namespace {
constexpr unsigned kDiskSpaceMessage = 6;  // "Unable to create file, check disk space"
}  // namespace

AutosaveFormat AutosaveFormatOf(const ProgramOptions& options) {
  return ParseAutosaveFormat(options.Text(kAutosaveFormatKey)).value_or(AutosaveFormat::kNative);
}

std::optional<AutosaveFormat> ParseAutosaveFormat(std::string_view text) {
  if (text == "native") return AutosaveFormat::kNative;
  if (text == "standard") return AutosaveFormat::kStandard;
  if (text == "both") return AutosaveFormat::kBoth;
  return std::nullopt;
}

const char* AutosaveFormatName(AutosaveFormat format) {
  switch (format) {
    case AutosaveFormat::kStandard:
      return "standard";
    case AutosaveFormat::kBoth:
      return "both";
    case AutosaveFormat::kNative:
      break;
  }
  return "native";
}

int NextFileNumber(int lastFileNumber) {
  return lastFileNumber >= kLastFileNumberLimit ? 1 : lastFileNumber + 1;
}

std::filesystem::path AutosaveFilePath(const Corvex& corvex, int number) {
  const std::string& directory = corvex.state.settings.autosaveDirectory;
  const std::string name = kAutosavePrefix + std::to_string(number) + ".FIT";
  if (Paths::IsWindowsForm(directory)) return corvex.paths.Map(directory + "\\" + name);
  return std::filesystem::path(directory) / name;
}

std::string SavingImageText(const Corvex& corvex) {
  return "into " + AutosaveFilePath(corvex, 1).parent_path().string();
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

constexpr const char* kNativeExtension = ".FIT";
constexpr const char* kStandardExtension = ".fits";

std::string FileName(int number, const char* extension = kNativeExtension) {
  return kAutosavePrefix + std::to_string(number) + extension;
}

// One file of a frame: its extension and its bytes.
struct FrameFile {
  const char* extension;
  std::vector<std::uint8_t> bytes;
};

// Writes the frame's files under the first number after the counter for which none of the
// names is taken, moving the counter to it. Returns the result with `files` set, or code 1
// when a file could not be written (the ones before it stay).
QuickSaveResult WriteUnderFreeNumber(Corvex& corvex, std::span<const FrameFile> frame) {
  QuickSaveResult result;
  int& counter = corvex.state.settings.lastFileNumber;
  const std::filesystem::path directory = AutosaveFilePath(corvex, 1).parent_path();
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const std::unordered_set<std::string> taken = TakenNames(directory);
  const auto numberFree = [&taken](int number) {
    for (const char* extension : {kNativeExtension, kStandardExtension}) {
      if (taken.count(Lower(FileName(number, extension))) != 0) return false;
    }
    return true;
  };

  int number = counter;
  for (int tried = 0; tried < kLastFileNumberLimit; ++tried) {
    number = NextFileNumber(number);
    if (!numberFree(number)) continue;
    counter = number;
    bool retry = false;
    for (const FrameFile& file : frame) {
      result.file = directory / FileName(number, file.extension);
      int error = 0;
      if (WriteFileAtomically(result.file, file.bytes, &error, ExistingFile::kKeep)) {
        result.files.push_back(result.file);
        continue;
      }
      // Another program took the name since the directory was listed: the next number, unless
      // a file of this frame is already written under this one.
      if (error == EEXIST && result.files.empty()) {
        retry = true;
        break;
      }
      result.code = kQuickSaveImageFailed;
      result.error = error;
      return result;
    }
    if (!retry) {
      result.file = result.files.front();
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

QuickSaveResult QuickSaveImage(Corvex& corvex, AutosaveFormat format) {
  ProgramState& state = corvex.state;

  // The frame is stamped with the middle of its exposure; a standard file also keeps its start.
  const std::int64_t start = state.exposureStartTime;
  state.exposureStartTime += (state.exposureEndTime - state.exposureStartTime) / 2;
  corvex.fits.observationTime = FormatObservationTime(state.exposureStartTime);
  corvex.fits.observationDate = FormatObservationDate(state.exposureStartTime);

  const PlaneView planes = MainPlanes(corvex.store);
  const PlaneView* colour = state.colourConverted ? &planes : nullptr;
  std::vector<FrameFile> frame;
  if (format != AutosaveFormat::kStandard) {
    frame.push_back({kNativeExtension, EncodeFitsFile(corvex.store.currentImage, corvex.fits,
                                                      corvex.history, colour)});
  }
  if (format != AutosaveFormat::kNative) {
    StandardFitsExtras extras = StandardFitsExtrasFor(corvex);
    SetExposureDates(start, state.exposureEndTime, extras);
    frame.push_back({kStandardExtension,
                     EncodeStandardFits(corvex.store.currentImage.span().first(kImageValues),
                                        colour, corvex.fits, corvex.history, extras)});
  }
  QuickSaveResult result;
  if (std::any_of(frame.begin(), frame.end(), [](const FrameFile& f) { return f.bytes.empty(); })) {
    result.code = kQuickSaveImageFailed;
    result.error = ENOMEM;
    result.file = AutosaveFilePath(corvex, NextFileNumber(state.settings.lastFileNumber));
  } else {
    result = WriteUnderFreeNumber(corvex, frame);
  }
  result.format = format;
  result.settingsFile = corvex.paths.SettingsFile();
  if (corvex.quickSaved) {
    for (const std::filesystem::path& file : result.files) corvex.quickSaved(file);
  }
  if (result.code != kQuickSaved) return result;

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
    const std::string names = result.format == AutosaveFormat::kNative ? ".FIT" : ".FIT or .fits";
    ShowMessage(host, kFreeTextMessage,
                "Unable to create file: every name from IMG1" + names + " to IMG" +
                    std::to_string(kLastFileNumberLimit) + names + " is taken in " +
                    result.file.string());
  } else if (result.code == kQuickSaveImageFailed) {
    ShowWriteFailure(host, kDiskSpaceMessage, result.file, result.error);
    // With both formats the frame's first file may be safe: say so.
    if (!result.files.empty()) {
      ShowMessage(host, kFreeTextMessage,
                  "The frame was saved as " + result.files.front().string() + " only.");
    }
  } else if (result.code == kQuickSaveSettingsFailed) {
    ShowMessage(host, kFreeTextMessage,
                "Saved " + result.file.string() + ", but the settings file " +
                    result.settingsFile.string() +
                    " could not be written: " + FileErrorText(result.settingsFile, result.error) +
                    ".\nThe file number was not stored; the next save still takes a free one.");
  }
}

}  // namespace corvex
