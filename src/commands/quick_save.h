// The numbered quick save: "Quick Save as FITs" and the automatic save after each exposure
// write IMG<n>.FIT into the autosave directory and keep the counter in the settings file. The
// automatic save can write the frame as standard FITS too, or instead: IMG<n>.fits under the
// same number, so the two files of one frame are found together and no name is used twice.
//
// The counter alone cannot be trusted to name a free file: the settings file may be missing,
// damaged or unwritable, the program may have been killed between the image and the counter,
// and the counter wraps. So a save never overwrites anything: numbers whose name is taken
// (in any case of letters) are passed over, and the file is put in place only if its name is
// still free at that moment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvex {

struct Corvex;
class ProgramOptions;

inline constexpr int kLastFileNumberLimit = 65530;  // the number after this (or more) is 1
inline constexpr const char* kAutosavePrefix = "IMG";

// What the automatic save writes for each frame ("autosave.format" in corvex.conf).
enum class AutosaveFormat { kNative, kStandard, kBoth };
AutosaveFormat AutosaveFormatOf(const ProgramOptions& options);
// "native", "standard" or "both"; nullopt for anything else.
std::optional<AutosaveFormat> ParseAutosaveFormat(std::string_view text);
const char* AutosaveFormatName(AutosaveFormat format);

// The counter's next value.
int NextFileNumber(int lastFileNumber);

// Where quick save `number` goes: autosaveDirectory\IMG<number>.FIT, mapped onto this machine.
std::filesystem::path AutosaveFilePath(const Corvex& corvex, int number);

// The "Filename" text of the "Saving Image" box: "into " and the directory the frame goes to,
// where it really is on this machine (the number is chosen only when the file is written).
std::string SavingImageText(const Corvex& corvex);

// "7/12/06" and "hh:mm:ss" of a calendar time, as UT.
std::string FormatObservationDate(std::int64_t calendarSeconds);
std::string FormatObservationTime(std::int64_t calendarSeconds);

inline constexpr int kQuickSaved = 0;
inline constexpr int kQuickSaveImageFailed = 1;     // no image file was written
inline constexpr int kQuickSaveSettingsFailed = 3;  // the image was written, the counter not

struct QuickSaveResult {
  int code = kQuickSaved;
  std::filesystem::path file;  // the image file written, or the one that could not be
  std::vector<std::filesystem::path> files;  // every image file written, in order
  std::filesystem::path settingsFile;
  int error = 0;              // why the image or the settings file could not be written
  bool noFreeNumber = false;  // every number from 1 to 65530 is taken
  AutosaveFormat format = AutosaveFormat::kNative;
};

// Saves the current image (with its planes when colour converted) under the next free
// number, stamped with the middle of the last exposure, then writes the settings file so the
// counter survives. The standard file's DATE-OBS is the exposure's start and DATE-AVG its
// middle. A number is free only when neither IMG<n>.FIT nor IMG<n>.fits is taken. With both
// formats a frame whose second file fails keeps its first; the result is then a failure with
// `file` the one that failed. Every image written is announced through corvex.quickSaved.
QuickSaveResult QuickSaveImage(Corvex& corvex, AutosaveFormat format = AutosaveFormat::kNative);

// QuickSaveImage's code: 0, 1 when the FITS file could not be written (the settings file is
// then not written), or 3 when the settings file could not be.
int QuickSaveFits(Corvex& corvex);

// Tells the user what went wrong, if anything: message 6 "Unable to create file, check disk
// space" when the disk is full, else the cause and the file; for code 3, that the image was
// saved but the settings file (and with it the counter) was not.
void ReportQuickSave(Corvex& corvex, const QuickSaveResult& result);

}  // namespace corvex
