#include "arguments.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace corvex::cli {

namespace {

struct UnitRange {
  char unit;
  const char* name;
  int high;  // every range starts at 1
};

// The camera panel's ranges for the main camera; focus mode takes values below 100; the
// self-guiding window only exposures short enough to guide with; the guider dialog's ranges.
const std::vector<UnitRange>& UnitRanges(ExposureKind kind) {
  static const std::vector<UnitRange> main = {{'q', "thousandths", 500},
                                              {'h', "hundredths", 500},
                                              {'t', "tenths", 100},
                                              {'s', "seconds", 300},
                                              {'m', "minutes", 90}};
  static const std::vector<UnitRange> focus = {
      {'q', "thousandths", 99}, {'h', "hundredths", 99}, {'t', "tenths", 99}, {'s', "seconds", 99}};
  static const std::vector<UnitRange> selfGuide = {{'q', "thousandths", 11999},
                                                   {'h', "hundredths", 1199},
                                                   {'t', "tenths", 119},
                                                   {'s', "seconds", 11}};
  static const std::vector<UnitRange> guider = {
      {'h', "hundredths", 500}, {'t', "tenths", 100}, {'s', "seconds", 10}};
  switch (kind) {
    case ExposureKind::kMain:
      return main;
    case ExposureKind::kFocus:
      return focus;
    case ExposureKind::kSelfGuide:
      return selfGuide;
    case ExposureKind::kGuider:
      return guider;
  }
  return main;
}

// from_chars takes no leading '+'; a single one is allowed here, as people write "+5".
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
    text.remove_prefix(1);
  }
  return text;
}

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string RangeText(double low, double high) {
  char text[64];
  std::snprintf(text, sizeof text, "%g to %g", low, high);
  return text;
}

}  // namespace

std::optional<long long> ParseWhole(std::string_view text, long long low, long long high) {
  text = WithoutPlus(text);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(std::string_view text, double low, double high) {
  text = WithoutPlus(text);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // from_chars reads "nan" and "inf" as numbers; no option here means either.
  if (!std::isfinite(value) || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<std::pair<int, int>> ParsePosition(std::string_view text, WholeRange x,
                                                 WholeRange y) {
  const auto parts = SplitAtCommas(text);
  if (parts.size() != 2) return std::nullopt;
  const auto first = ParseWhole(parts[0], x.low, x.high);
  const auto second = ParseWhole(parts[1], y.low, y.high);
  if (!first || !second) return std::nullopt;
  return std::make_pair(static_cast<int>(*first), static_cast<int>(*second));
}

std::optional<std::pair<double, double>> ParseRealPair(std::string_view text, double low,
                                                       double high) {
  const auto parts = SplitAtCommas(text);
  if (parts.size() != 2) return std::nullopt;
  const auto first = ParseReal(parts[0], low, high);
  const auto second = ParseReal(parts[1], low, high);
  if (!first || !second) return std::nullopt;
  return std::make_pair(*first, *second);
}

std::string ExposureRanges(ExposureKind kind) {
  std::string text;
  for (const UnitRange& range : UnitRanges(kind)) {
    if (!text.empty()) text += ", ";
    text += std::string(1, range.unit) + " (" + range.name + ") 1-" + std::to_string(range.high);
  }
  return text;
}

std::optional<ExposureSetting> ParseExposure(std::string_view text, ExposureKind kind,
                                             std::string& error) {
  error = Quoted(text) + " is not an exposure: use a whole number and a unit, " +
          ExposureRanges(kind) + "; a bare number is seconds";
  if (text.empty()) return std::nullopt;
  ExposureSetting setting;
  std::string_view number = text;
  if (const char last = text.back(); last < '0' || last > '9') {
    setting.unit = last;
    number.remove_suffix(1);
  }
  for (const UnitRange& range : UnitRanges(kind)) {
    if (range.unit != setting.unit) continue;
    const auto value = ParseWhole(number, 1, range.high);
    if (!value) {
      if (ParseWhole(number, 1, 1LL << 62)) {
        error = Quoted(text) + ": " + range.name + " go from 1 to " + std::to_string(range.high) +
                " (" + ExposureRanges(kind) + ")";
      }
      return std::nullopt;
    }
    setting.value = static_cast<int>(*value);
    error.clear();
    return setting;
  }
  return std::nullopt;
}

namespace {

// An option whose text `read` turns into its value, throwing CLI::ValidationError when it
// cannot; CLI11 reports the error as it reports its own.
CLI::Option* AddReadOption(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& typeName,
                           std::function<void(const std::string&)> read) {
  return app.add_option_function<std::string>(name, std::move(read), description)
      ->type_name(typeName);
}

template <typename Target>
CLI::Option* AddWhole(CLI::App& app, const std::string& name, Target& target, int low, int high,
                      const std::string& description) {
  return AddReadOption(app, name, description, "INT", [&target, low, high, name](const auto& text) {
    const auto value = ParseWhole(text, low, high);
    if (!value) {
      throw CLI::ValidationError(name, Quoted(text) + " is not a whole number from " +
                                           std::to_string(low) + " to " + std::to_string(high));
    }
    target = static_cast<int>(*value);
  });
}

template <typename Target>
CLI::Option* AddReal(CLI::App& app, const std::string& name, Target& target, double low,
                     double high, const std::string& description) {
  return AddReadOption(
      app, name, description, "NUMBER", [&target, low, high, name](const auto& text) {
        const auto value = ParseReal(text, low, high);
        if (!value) {
          throw CLI::ValidationError(
              name, Quoted(text) + " is not a number from " + RangeText(low, high));
        }
        target = *value;
      });
}

}  // namespace

CLI::Option* AddWholeOption(CLI::App& app, const std::string& name, int& target, int low, int high,
                            const std::string& description) {
  return AddWhole(app, name, target, low, high, description);
}

CLI::Option* AddWholeOption(CLI::App& app, const std::string& name, std::optional<int>& target,
                            int low, int high, const std::string& description) {
  return AddWhole(app, name, target, low, high, description);
}

CLI::Option* AddRealOption(CLI::App& app, const std::string& name, double& target, double low,
                           double high, const std::string& description) {
  return AddReal(app, name, target, low, high, description);
}

CLI::Option* AddRealOption(CLI::App& app, const std::string& name, std::optional<double>& target,
                           double low, double high, const std::string& description) {
  return AddReal(app, name, target, low, high, description);
}

CLI::Option* AddPositionOption(CLI::App& app, const std::string& name,
                               std::optional<std::pair<int, int>>& target, WholeRange x,
                               WholeRange y, const std::string& description) {
  return AddReadOption(app, name, description, "X,Y", [&target, x, y, name](const auto& text) {
    target = ParsePosition(text, x, y);
    if (!target) {
      throw CLI::ValidationError(name, Quoted(text) + " is not X,Y with X from " +
                                           std::to_string(x.low) + " to " + std::to_string(x.high) +
                                           " and Y from " + std::to_string(y.low) + " to " +
                                           std::to_string(y.high));
    }
  });
}

CLI::Option* AddExposureOption(CLI::App& app, const std::string& name, ExposureSetting& target,
                               ExposureKind kind, const std::string& description) {
  return AddReadOption(app, name, description + " (" + ExposureRanges(kind) + ")", "LENGTH",
                       [&target, kind, name](const auto& text) {
                         std::string error;
                         const auto exposure = ParseExposure(text, kind, error);
                         if (!exposure) throw CLI::ValidationError(name, error);
                         target = *exposure;
                       });
}

}  // namespace corvex::cli
