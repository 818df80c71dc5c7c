// The numbered quick save: "Quick Save as FITs" and the automatic save after each exposure
// write IMG<n>.FIT into the autosave directory and keep the counter in the settings file.
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

// Saves the current image (with its planes when colour converted) under the next number,
// stamped with the middle of the last exposure, then writes the settings file so the counter
// survives. Returns 0, 1 when the FITS file could not be written (the settings file is then
// not written), or 3 when the settings file could not be.
int QuickSaveFits(Corvex& corvex);

}  // namespace corvex
