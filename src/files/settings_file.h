// The settings file: every option that survives a restart, as fixed-width fields (16-bit
// integers, one-letter flags, 80-byte header cards, fixed-length strings) in a fixed order,
// 1302 bytes in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "files/fits_header_fields.h"
#include "state/host.h"
#include "state/program_settings.h"

namespace corvex {

struct Corvex;

inline constexpr std::size_t kSettingsFileBytes = 1302;

inline constexpr int kSettingsOk = 0;
inline constexpr int kSettingsUnreadable = 2;  // missing, or ends before its last field
inline constexpr int kSettingsWriteFailed = 3;

inline constexpr const char* kNoSettingsFileWarning =
    "Warning!\nNo INI file found, please set defaults...";

// The file's bytes for these values. Guide-camera values of 50 or more are written as 10
// (guiderDecBacklash as 0).
std::vector<std::uint8_t> EncodeSettings(const ProgramSettings& settings,
                                         const FitsHeaderFields& fields);

enum class SettingsDecodeOutcome {
  kComplete,   // every field was read
  kTruncated,  // the bytes ended inside a field; the fields before it were stored
  kRewrite,    // a field failed its check; the fields before it were stored, it and the rest not
};

// Reads the fields in file order, storing each as soon as it is read. An out-of-range
// saturation factor becomes 3, and a bad fastParallel letter shows "Failed to read fast_par
// value" and keeps the old value; both let reading go on.
SettingsDecodeOutcome DecodeSettings(std::span<const std::uint8_t> bytes, ProgramSettings& settings,
                                     FitsHeaderFields& fields, Host& host);

// Reads the settings file at `path` into corvex.state.settings and corvex.fits. Returns 0; 2
// when the file is missing (after the "No INI file found" warning) or incomplete; or, when a
// value failed its check, the result of rewriting the file from the values in memory. On the
// first run, when the file's directory did not exist yet, the file is written at once instead.
int ReadSettingsFile(Corvex& corvex, const std::filesystem::path& path);
int ReadSettingsFile(Corvex& corvex);  // at its usual place

// Replaces the settings file atomically; 0 on success, 3 on any failure (the old file stays).
int WriteSettingsFile(Corvex& corvex, const std::filesystem::path& path);
int WriteSettingsFile(Corvex& corvex);  // at its usual place

// The window background the `backgroundColour` letter stands for: 'g' grey (90, 90, 90),
// 'r' red (120, 40, 40), anything else light grey (192, 192, 192).
struct BackgroundRgb {
  int red, green, blue;
};
BackgroundRgb BackgroundColour(char letter);

// Every setting in file order with its value as text, for listing.
std::vector<std::pair<std::string, std::string>> ListSettings(const ProgramSettings& settings,
                                                              const FitsHeaderFields& fields);

}  // namespace corvex
