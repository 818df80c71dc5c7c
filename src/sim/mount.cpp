#include "sim/mount.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvex::sim {

namespace {
constexpr char kDirections[4] = {'e', 'w', 'n', 's'};
constexpr std::uint8_t kRelayBits[4] = {0x08, 0x01, 0x04, 0x02};
}  // namespace

SimMount::SimMount(const SimConfig& config, std::int64_t startMs)
    : config_(config), startMs_(startMs), committedMs_(startMs) {}

int SimMount::Slot(char direction) {
  for (int i = 0; i < 4; ++i) {
    if (kDirections[i] == direction) return i;
  }
  return -1;
}

SimMount::Axes SimMount::AxesAt(std::int64_t ms) const {
  Axes axes = committed_;
  const double seconds = static_cast<double>(std::max<std::int64_t>(ms - committedMs_, 0)) / 1000;
  const auto rate = [&](int slot) { return rates_[slot].value_or(0.0); };
  axes.ra += (rate(0) - rate(1)) * seconds;
  axes.decCommanded += (rate(2) - rate(3)) * seconds;
  // The Dec gears have `backlash` of play: the axis follows the command only once the play is
  // taken up, so a reversal loses that much travel.
  const double play = config_.backlashPx;
  axes.decActual = std::clamp(axes.decActual, axes.decCommanded - play, axes.decCommanded);
  return axes;
}

void SimMount::Commit(std::int64_t ms) {
  if (ms < committedMs_) ms = committedMs_;
  committed_ = AxesAt(ms);
  committedMs_ = ms;
}

void SimMount::FollowPointing(PointingSource source, double arcsecPerPx) {
  pointing_ = std::move(source);
  arcsecPerPx_ = arcsecPerPx > 0 ? arcsecPerPx : 1;
  origin_ = pointing_ ? pointing_().value_or(ExternalPointing{}) : ExternalPointing{};
}

PointingOffset SimMount::GuidedAt(std::int64_t ms) const {
  if (pointing_) {
    const std::optional<ExternalPointing> at = pointing_();
    if (!at) return {};
    double hours = at->raHours - origin_.raHours;
    hours -= 24 * std::round(hours / 24);  // across 0h the short way
    const double cosDec = std::cos(origin_.decDegrees * std::numbers::pi / 180);
    return {hours * 15 * 3600 * cosDec / arcsecPerPx_,
            -(at->decDegrees - origin_.decDegrees) * 3600 / arcsecPerPx_};
  }
  const Axes axes = AxesAt(ms);
  return {axes.ra, axes.decActual};
}

PointingOffset SimMount::OffsetAt(std::int64_t ms) const {
  const double minutes = static_cast<double>(ms - startMs_) / 60000.0;
  const double seconds = minutes * 60;
  const double periodic =
      config_.periodicPx / 2 * std::sin(2 * std::numbers::pi * seconds / config_.periodicSeconds);
  const PointingOffset guided = GuidedAt(ms);
  return {guided.x + config_.driftRaPxPerMin * minutes + periodic,
          guided.y + config_.driftDecPxPerMin * minutes};
}

void SimMount::SetRelays(std::uint8_t mask, std::int64_t ms) {
  Commit(ms);
  relayMask_ = mask;
  for (int i = 0; i < 4; ++i) {
    if (mask & kRelayBits[i]) {
      rates_[i] = config_.guideRatePxPerSec;
    } else {
      rates_[i].reset();
    }
  }
}

void SimMount::StartMove(char direction, double ratePxPerSec, std::int64_t ms) {
  const int slot = Slot(direction);
  if (slot < 0) return;
  Commit(ms);
  rates_[slot] = ratePxPerSec;
}

void SimMount::StopMove(char direction, std::int64_t ms) {
  const int slot = Slot(direction);
  if (slot < 0) return;
  Commit(ms);
  rates_[slot].reset();
}

bool SimMount::Moving(char direction) const {
  const int slot = Slot(direction);
  return slot >= 0 && rates_[slot].has_value();
}

}  // namespace corvex::sim
