#include "sim/sim_config.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace corvex::sim {

namespace {

// Each number's range keeps the simulated sky on the sensor's scale: a star wider than the
// frame, a drift of light years a minute or a NaN would only overflow the renderer.
struct NumberRange {
  double low;
  double high;
  bool whole;
};

constexpr NumberRange kDriftRange{-100, 100, false};     // pixels per minute
constexpr NumberRange kPeriodicPxRange{0, 1000, false};  // peak to peak
constexpr NumberRange kPeriodRange{1, 86400, false};     // seconds
constexpr NumberRange kBacklashRange{0, 100, false};     // pixels
constexpr NumberRange kGuideRateRange{0.1, 100, false};  // pixels per second
constexpr NumberRange kRotationRange{-360, 360, false};  // degrees
constexpr NumberRange kFwhmRange{0.5, 50, false};        // pixels
constexpr NumberRange kReadoutRange{0, 600000, true};    // milliseconds
constexpr NumberRange kCountRange{0, 1000000000, true};  // a request number; 0 is never
constexpr NumberRange kSwitchRange{0, 1, true};

std::optional<double> ParseNumber(std::string_view text, const NumberRange& range) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value < range.low || value > range.high) return std::nullopt;
  if (range.whole && value != std::floor(value)) return std::nullopt;
  return value;
}

std::string Describe(const NumberRange& range) {
  char text[96];
  std::snprintf(text, sizeof text, "%s from %g to %g", range.whole ? "a whole number" : "a number",
                range.low, range.high);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// One "key=value" entry applied to `config`; what is wrong with it otherwise.
std::optional<std::string> ApplyEntry(std::string_view key, std::string_view value,
                                      SimConfig& config) {
  if (key == "drift" || key == "periodic") {
    const bool drift = key == "drift";
    const NumberRange& first = drift ? kDriftRange : kPeriodicPxRange;
    const NumberRange& second = drift ? kDriftRange : kPeriodRange;
    const auto pair = Split(value, ':');
    const auto a = pair.size() == 2 ? ParseNumber(pair[0], first) : std::nullopt;
    const auto b = pair.size() == 2 ? ParseNumber(pair[1], second) : std::nullopt;
    if (!a || !b) {
      return drift ? "needs RA:DEC, each " + Describe(kDriftRange)
                   : "needs PX:SECONDS, PX " + Describe(kPeriodicPxRange) + ", SECONDS " +
                         Describe(kPeriodRange);
    }
    (drift ? config.driftRaPxPerMin : config.periodicPx) = *a;
    (drift ? config.driftDecPxPerMin : config.periodicSeconds) = *b;
    return std::nullopt;
  }
  if (key == "seed") {
    std::uint64_t seed = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seed);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
      return std::string("needs a whole number from 0 to 18446744073709551615");
    }
    config.seed = seed;
    return std::nullopt;
  }

  struct Number {
    std::string_view key;
    const NumberRange& range;
    double* real;
    int* whole;
  };
  int garbage = config.garbageSerial ? 1 : 0;
  int mirrored = config.guiderMirrored ? 1 : 0;
  const Number numbers[] = {
      {"drift-ra", kDriftRange, &config.driftRaPxPerMin, nullptr},
      {"drift-dec", kDriftRange, &config.driftDecPxPerMin, nullptr},
      {"periodic-px", kPeriodicPxRange, &config.periodicPx, nullptr},
      {"periodic-seconds", kPeriodRange, &config.periodicSeconds, nullptr},
      {"backlash", kBacklashRange, &config.backlashPx, nullptr},
      {"guide-rate", kGuideRateRange, &config.guideRatePxPerSec, nullptr},
      {"guider-rotation", kRotationRange, &config.guiderRotationDeg, nullptr},
      {"fwhm", kFwhmRange, &config.fwhmPx, nullptr},
      {"readout-ms", kReadoutRange, nullptr, &config.fullReadoutMs},
      {"fail-write", kCountRange, nullptr, &config.failWriteAt},
      {"short-read", kCountRange, nullptr, &config.shortReadAt},
      {"disconnect-after", kCountRange, nullptr, &config.disconnectAfter},
      {"garbage-serial", kSwitchRange, nullptr, &garbage},
      {"guider-mirror", kSwitchRange, nullptr, &mirrored},
  };
  for (const Number& number : numbers) {
    if (number.key != key) continue;
    const auto parsed = ParseNumber(value, number.range);
    if (!parsed) return "needs " + Describe(number.range);
    if (number.real != nullptr) *number.real = *parsed;
    if (number.whole != nullptr) *number.whole = static_cast<int>(*parsed);
    config.garbageSerial = garbage != 0;
    config.guiderMirrored = mirrored != 0;
    return std::nullopt;
  }
  return std::string("is not a simulator setting");
}

}  // namespace

std::optional<std::string> ApplySimSettings(std::string_view text, SimConfig& config) {
  SimConfig updated = config;
  for (std::string_view entry : Split(text, ',')) {
    entry = Trim(entry);
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    std::optional<std::string> problem;
    if (equals == std::string_view::npos) {
      problem = "needs key=value";
    } else {
      problem = ApplyEntry(Trim(entry.substr(0, equals)), Trim(entry.substr(equals + 1)), updated);
    }
    if (problem) return "bad simulator setting \"" + std::string(entry) + "\": " + *problem;
  }
  config = updated;
  return std::nullopt;
}

}  // namespace corvex::sim
