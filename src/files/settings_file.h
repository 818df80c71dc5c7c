// The settings file: every option that survives a restart, as fixed-width fields (16-bit
// integers, one-letter flags, 80-byte header cards, fixed-length strings) in a fixed order,
// 1302 bytes in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/fits_header_fields.h"
#include "platform/host.h"
#include "state/program_settings.h"

namespace corvex {

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

// A field whose value failed its read check.
struct SettingsFieldProblem {
  std::string name;    // as ListSettings names it
  std::size_t offset;  // its first byte in the file
};

struct SettingsDecodeResult {
  bool complete = true;  // false: the bytes ended inside a field; the fields after it kept
                         // their values
  std::vector<SettingsFieldProblem> badFields;  // they kept their values; the rest were read
  bool fastParallelUnknown = false;             // neither 'y' nor 'n': the old value was kept
  bool saturationReplaced = false;              // outside 1-9: set to 3

  // Whether the bytes were a settings file with nothing wrong in it.
  bool Sound() const {
    return complete && badFields.empty() && !fastParallelUnknown && !saturationReplaced;
  }
};

// Reads the fields in file order, storing each as soon as it is read. Every field sits at a
// fixed place, so one bad value costs only its own field: the others are still read. An
// out-of-range saturation factor becomes 3, and a bad fastParallel letter keeps the old value.
SettingsDecodeResult DecodeSettings(std::span<const std::uint8_t> bytes, ProgramSettings& settings,
                                    FitsHeaderFields& fields);

// What a read does with a file holding a value that fails its check.
enum class SettingsRepair {
  kRewrite,    // rewrites it from the values now in memory, after keeping the damaged file
               // as "<name>.bad" (as before the dialogs, the capture run and guiding)
  kLeaveFile,  // never writes an existing file (start-up, and commands that only show them)
};

inline constexpr int kSettingsDamaged = 4;  // kLeaveFile read a bad value and left the file
inline constexpr const char* kDamagedSettingsSuffix = ".bad";

// Reads the settings file at `path` into `settings` and `fields`. Returns 0; 2 when the file
// is missing (after the "No INI file found" warning), is not a regular file, cannot be read,
// or is incomplete; kSettingsDamaged when a value failed its check and the file was left; or,
// when it was rewritten, the result of that write. Bad values are named in a message to
// `host`. On the first run, when the file's directory did not exist yet, the file is written
// at once.
int ReadSettingsFile(Host& host, const std::filesystem::path& path, ProgramSettings& settings,
                     FitsHeaderFields& fields, SettingsRepair repair = SettingsRepair::kRewrite);

// Replaces the settings file atomically; 0 on success, 3 on any failure (the old file stays,
// and `error` says why). A file that is damaged is first kept as "<name>.bad"; when that copy
// cannot be written the file is not replaced either. A file that already holds exactly these
// bytes is not written at all.
int WriteSettingsFile(const std::filesystem::path& path, const ProgramSettings& settings,
                      const FitsHeaderFields& fields, int* error = nullptr);

// Shows `text` in a box of the settings file's caption: what went wrong with a settings file.
void ShowSettingsMessage(Host& host, const std::string& text);

// Sets the setting `name` (as ListSettings names it) from the text `value` in `settings` and
// `fields`, with the checks the defaults dialog and the file's reader apply: whole numbers
// within the field's range (the hysteresis fields 0-20, filterCount 1-8), "y"/"n" and "1"/"0"
// flags, one of the field's letters, texts that fit. A value the file would store as
// anything else is refused too. Returns the reason on refusal, with nothing changed.
std::optional<std::string> SetSetting(ProgramSettings& settings, FitsHeaderFields& fields,
                                      std::string_view name, std::string_view value);

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
