// The second settings file, "corvex.conf" beside Corvex.ini: the settings the 1302-byte
// binary file has no place for, as text a person can read and edit.
//
//   # What the automatic save of a capture run writes: ...
//   autosave.format = standard
//
// One line per setting, "key = value"; lines starting with '#' are comments. Every setting
// is one line of the table in program_options_file.cpp (key, kind, default, range or choices,
// help text); nothing else needs to change to add one. A bad value is refused on its own,
// with its key and line, and the setting keeps its default; the other lines are still read.
// Reading never writes the file. When the program changes settings, only their lines are
// replaced (or added): comments, unknown keys and lines it could not read stay as they are.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvex {

inline constexpr const char* kProgramOptionsFileName = "corvex.conf";

// Keys the program reads.
inline constexpr std::string_view kAutosaveFormatKey = "autosave.format";
inline constexpr std::string_view kDitherKey = "dither.enabled";
inline constexpr std::string_view kDitherAmountKey = "dither.amount";
inline constexpr std::string_view kDitherSettlePxKey = "dither.settle_threshold";
inline constexpr std::string_view kDitherSettleSecondsKey = "dither.settle_time";
inline constexpr std::string_view kDitherTimeoutKey = "dither.settle_timeout";
inline constexpr std::string_view kTelescopeMethodKey = "telescope.method";
inline constexpr std::string_view kIndiServerKey = "indi.server";
inline constexpr std::string_view kIndiMountKey = "indi.mount";

enum class OptionKind {
  kFlag,    // yes or no (also true/false, on/off, 1/0 when read)
  kWhole,   // a whole number from `low` to `high`
  kReal,    // a number from `low` to `high`
  kChoice,  // one of the words in `choices`, separated by '|'
  kText,    // any text of printable characters
};

struct OptionDefinition {
  std::string_view key;
  OptionKind kind;
  std::string_view defaultValue;  // as the file writes it
  double low = 0;
  double high = 0;
  std::string_view choices;
  std::string_view help;  // the comment written above the key in a new file
};

// Every setting of the file, in the order a new file lists them.
std::span<const OptionDefinition> ProgramOptionTable();
// The setting of this key (keys are compared without regard to case), or nullptr.
const OptionDefinition* FindProgramOption(std::string_view key);

// `value` as the setting takes it ("Yes" -> "yes", "Standard" -> "standard", " 3 " -> "3"),
// or nullopt with `why` saying what is allowed.
std::optional<std::string> CheckOptionValue(const OptionDefinition& definition,
                                            std::string_view value, std::string& why);

// The values of every setting in the table, as text; each starts at its default.
class ProgramOptions {
 public:
  ProgramOptions();

  const std::string& Text(std::string_view key) const;
  bool Flag(std::string_view key) const;
  long long Whole(std::string_view key) const;
  double Real(std::string_view key) const;

  // False (and nothing changed) for an unknown key or a value the setting does not allow;
  // `why` says which.
  bool Set(std::string_view key, std::string_view value, std::string* why = nullptr);

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

// What reading the file found.
struct OptionsReadResult {
  bool missing = false;  // there is no file: every setting has its default
  int error = 0;         // the file could not be read (an errno value or kNotRegularFile)
  // Lines that were not used, each as "line N: ..." saying why: a value that is not allowed
  // (the setting keeps its default), a line that is not "key = value", a key set twice.
  std::vector<std::string> problems;
  std::vector<std::string> unknownKeys;  // "line N: ..." for keys this version does not know

  bool Sound() const { return error == 0 && problems.empty(); }
};

// Reads the settings from the file's text into `options`.
OptionsReadResult ParseProgramOptions(std::string_view text, ProgramOptions& options);
// Reads the file at `path` into `options`. The file is never written.
OptionsReadResult ReadProgramOptions(const std::filesystem::path& path, ProgramOptions& options);

// The file's text with the lines of `keys` set to their values in `options`: an existing line
// of the key is replaced (the last, which is the one in force), a missing one is added with its
// help text. Everything else stays as it was.
std::string UpdateProgramOptionsText(std::string_view text, const ProgramOptions& options,
                                     std::span<const std::string_view> keys);
// The text of a new file: a heading, then every setting with its help and value.
std::string NewProgramOptionsText(const ProgramOptions& options);

// Sets `keys` in the file at `path` to their values in `options`, through an atomic replace;
// when that leaves the file's text as it was, the file is not written at all. A missing file is
// created with every setting. A file that exists but cannot be read is left alone and the write
// fails. False with `error` (an errno value or kNotRegularFile) on failure.
bool SaveProgramOptions(const std::filesystem::path& path, const ProgramOptions& options,
                        std::span<const std::string_view> keys, int* error = nullptr);

// corvex.conf in the directory of the settings file.
std::filesystem::path ProgramOptionsPath(const std::filesystem::path& settingsFile);

}  // namespace corvex
