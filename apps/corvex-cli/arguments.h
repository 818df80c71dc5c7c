// Reading the command line's values: one strict reading of numbers, positions and exposure
// lengths for every command, and the CLI11 options built on it. A value with anything before
// or after the number, a NaN, an infinity or a value outside its range is refused with a
// message that says what is accepted; the tool then exits with its usage code before doing
// any work.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace corvex::cli {

// ---- Plain readings ----

// A whole decimal number ("12", "-3", "+4") from `low` to `high`.
std::optional<long long> ParseWhole(std::string_view text, long long low, long long high);
// A finite decimal number ("2.5", "-1e-3") from `low` to `high`.
std::optional<double> ParseReal(std::string_view text, double low, double high);

struct WholeRange {
  int low;
  int high;
};
// "X,Y": exactly two whole numbers with X and Y in their ranges.
std::optional<std::pair<int, int>> ParsePosition(std::string_view text, WholeRange x, WholeRange y);
// "A,B": exactly two finite numbers, each from `low` to `high`.
std::optional<std::pair<double, double>> ParseRealPair(std::string_view text, double low,
                                                       double high);

// ---- Exposure lengths ----

struct ExposureSetting {
  int value = 1;
  char unit = 's';
};

// Which exposure an option sets: each has its own units and ranges (the camera panel's, the
// guider dialog's, focus mode's, and the self-guiding window's).
enum class ExposureKind { kMain, kFocus, kSelfGuide, kGuider };

// "5s", "5t", "250q", "2m": a whole number and a unit letter the kind takes; a bare number
// means seconds. nullopt with `error` saying what the kind accepts.
std::optional<ExposureSetting> ParseExposure(std::string_view text, ExposureKind kind,
                                             std::string& error);
// "q 1-500, h 1-500, ...": the units and ranges of a kind, for messages and --help.
std::string ExposureRanges(ExposureKind kind);

// ---- CLI11 options that read through the above ----
// Each stores the value when it is given and refuses a bad one during parsing.

CLI::Option* AddWholeOption(CLI::App& app, const std::string& name, int& target, int low, int high,
                            const std::string& description);
CLI::Option* AddWholeOption(CLI::App& app, const std::string& name, std::optional<int>& target,
                            int low, int high, const std::string& description);
CLI::Option* AddRealOption(CLI::App& app, const std::string& name, double& target, double low,
                           double high, const std::string& description);
CLI::Option* AddRealOption(CLI::App& app, const std::string& name, std::optional<double>& target,
                           double low, double high, const std::string& description);
CLI::Option* AddPositionOption(CLI::App& app, const std::string& name,
                               std::optional<std::pair<int, int>>& target, WholeRange x,
                               WholeRange y, const std::string& description);
CLI::Option* AddExposureOption(CLI::App& app, const std::string& name, ExposureSetting& target,
                               ExposureKind kind, const std::string& description);

}  // namespace corvex::cli
