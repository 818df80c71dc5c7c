#include "sim/sim_config.h"

#include <charconv>
#include <vector>

namespace corvex::sim {

namespace {

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
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

// One "key=value" entry applied to `config`; false when the key or value is not understood.
bool ApplyEntry(std::string_view key, std::string_view value, SimConfig& config) {
  if (key == "drift" || key == "periodic") {
    const auto pair = Split(value, ':');
    if (pair.size() != 2) return false;
    const auto a = ParseNumber(pair[0]);
    const auto b = ParseNumber(pair[1]);
    if (!a || !b) return false;
    if (key == "drift") {
      config.driftRaPxPerMin = *a;
      config.driftDecPxPerMin = *b;
    } else {
      if (*b <= 0) return false;
      config.periodicPx = *a;
      config.periodicSeconds = *b;
    }
    return true;
  }
  const auto number = ParseNumber(value);
  if (!number) return false;
  const double v = *number;
  const auto whole = [&](int& field) {
    if (v < 0 || v != static_cast<int>(v)) return false;
    field = static_cast<int>(v);
    return true;
  };
  if (key == "seed") {
    if (v < 0 || v != static_cast<double>(static_cast<std::uint64_t>(v))) return false;
    config.seed = static_cast<std::uint64_t>(v);
  } else if (key == "drift-ra") {
    config.driftRaPxPerMin = v;
  } else if (key == "drift-dec") {
    config.driftDecPxPerMin = v;
  } else if (key == "periodic-px") {
    config.periodicPx = v;
  } else if (key == "periodic-seconds") {
    if (v <= 0) return false;
    config.periodicSeconds = v;
  } else if (key == "backlash") {
    if (v < 0) return false;
    config.backlashPx = v;
  } else if (key == "guide-rate") {
    config.guideRatePxPerSec = v;
  } else if (key == "guider-rotation") {
    config.guiderRotationDeg = v;
  } else if (key == "guider-mirror") {
    config.guiderMirrored = v != 0;
  } else if (key == "fwhm") {
    if (v <= 0) return false;
    config.fwhmPx = v;
  } else if (key == "readout-ms") {
    return whole(config.fullReadoutMs);
  } else if (key == "fail-write") {
    return whole(config.failWriteAt);
  } else if (key == "short-read") {
    return whole(config.shortReadAt);
  } else if (key == "disconnect-after") {
    return whole(config.disconnectAfter);
  } else if (key == "garbage-serial") {
    config.garbageSerial = v != 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> ApplySimSettings(std::string_view text, SimConfig& config) {
  SimConfig updated = config;
  for (std::string_view entry : Split(text, ',')) {
    entry = Trim(entry);
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos ||
        !ApplyEntry(Trim(entry.substr(0, equals)), Trim(entry.substr(equals + 1)), updated)) {
      return "bad simulator setting \"" + std::string(entry) + "\"";
    }
  }
  config = updated;
  return std::nullopt;
}

}  // namespace corvex::sim
