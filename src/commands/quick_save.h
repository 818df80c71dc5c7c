// The numbered quick save: "Quick Save as FITs" and the automatic save after each exposure
// write IMG<n>.FIT into the autosave directory and keep the counter in the settings file.
//
// The counter alone cannot be trusted to name a free file: the settings file may be missing,
// damaged or unwritable, the program may have been killed between the image and the counter,
// and the counter wraps. So a save never overwrites anything: numbers whose name is taken
// (in any case of letters) are passed over, and the file is put in place only if its name is
// still free at that moment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace corvex {

struct Corvex;

inline constexpr int kLastFileNumberLimit = 65530;  // the number after this (or more) is 1
inline constexpr const char* kAutosavePrefix = "IMG";

// The counter's next value.
int NextFileNumber(int lastFileNumber);

// Where quick save `number` goes: autosaveDirectory\IMG<number>.FIT, mapped onto this machine.
std::filesystem::path AutosaveFilePath(const Corvex& corvex, int number);

// The "Filename" text of the "Saving Image" box: "%s%5d.IMG" of the directory and number.
std::string SavingImageText(std::string_view autosaveDirectory, int number);

// "7/12/06" and "hh:mm:ss" of a calendar time, as UT.
std::string FormatObservationDate(std::int64_t calendarSeconds);
std::string FormatObservationTime(std::int64_t calendarSeconds);

inline constexpr int kQuickSaved = 0;
inline constexpr int kQuickSaveImageFailed = 1;     // no image file was written
inline constexpr int kQuickSaveSettingsFailed = 3;  // the image was written, the counter not

struct QuickSaveResult {
  int code = kQuickSaved;
  std::filesystem::path file;  // the image file written, or the one that could not be
  std::filesystem::path settingsFile;
  int error = 0;              // why the image or the settings file could not be written
  bool noFreeNumber = false;  // every number from 1 to 65530 is taken
};

// Saves the current image (with its planes when colour converted) under the next free
// number, stamped with the middle of the last exposure, then writes the settings file so the
// counter survives. A written image is announced through corvex.quickSaved.
QuickSaveResult QuickSaveImage(Corvex& corvex);

// QuickSaveImage's code: 0, 1 when the FITS file could not be written (the settings file is
// then not written), or 3 when the settings file could not be.
int QuickSaveFits(Corvex& corvex);

// Tells the user what went wrong, if anything: message 6 "Unable to create file, check disk
// space" when the disk is full, else the cause and the file; for code 3, that the image was
// saved but the settings file (and with it the counter) was not.
void ReportQuickSave(Corvex& corvex, const QuickSaveResult& result);

}  // namespace corvex
