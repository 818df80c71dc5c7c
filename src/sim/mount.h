// The simulated mount: where it points relative to where it started, in main camera pixels
// (x along RA, y along Dec), with drift, periodic error in RA, Dec backlash and moves at the
// chosen rate while a relay or an LX200 move command is active.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/sim_config.h"

namespace corvex::sim {

struct PointingOffset {
  double x = 0;  // RA
  double y = 0;  // Dec
};

// Direction letters: 'e' moves the stars towards +x, 'w' towards -x, 'n' towards +y and 's'
// towards -y. That is the sense the guiding corrections assume: a star left of its reference
// (a positive error) is brought back by an east move, one below it by a north move.
// Where a mount outside the simulator points (RA hours, Dec degrees of date), for a sky that
// follows it; nullopt while it has not said.
struct ExternalPointing {
  double raHours = 0;
  double decDegrees = 0;
};
using PointingSource = std::function<std::optional<ExternalPointing>()>;

class SimMount {
 public:
  SimMount(const SimConfig& config, std::int64_t startMs);

  // How far the stars have moved at time `ms` (no earlier than the last change).
  PointingOffset OffsetAt(std::int64_t ms) const;
  // The part of the offset the guiding moves made (no drift, no periodic error).
  PointingOffset GuidedAt(std::int64_t ms) const;

  // The relay outputs: west 0x01, south 0x02, north 0x04, east 0x08; moves run at the guide rate.
  void SetRelays(std::uint8_t mask, std::int64_t ms);
  // An LX200 move in one direction at `ratePxPerSec`; a second start replaces the first.
  void StartMove(char direction, double ratePxPerSec, std::int64_t ms);
  void StopMove(char direction, std::int64_t ms);
  bool Moving(char direction) const;

  double guideRate() const { return config_.guideRatePxPerSec; }

  // From now on the guided part of the offset is where `source` says the mount points,
  // against where it pointed at this call, at `arcsecPerPx`: +x towards greater RA, +y
  // towards smaller Dec (north up, east right, as through a star diagonal). The relays and
  // LX200 moves then do nothing; drift and periodic error still add on top.
  void FollowPointing(PointingSource source, double arcsecPerPx);

 private:
  struct Axes {
    double ra = 0;  // commanded and actual RA travel
    double decCommanded = 0;
    double decActual = 0;  // follows the commanded travel within the backlash play
  };
  static int Slot(char direction);
  Axes AxesAt(std::int64_t ms) const;
  void Commit(std::int64_t ms);

  SimConfig config_;
  std::int64_t startMs_;
  std::int64_t committedMs_;
  Axes committed_;
  std::array<std::optional<double>, 4> rates_;  // px/s of the active move per direction
  std::uint8_t relayMask_ = 0;
  PointingSource pointing_;
  ExternalPointing origin_;
  double arcsecPerPx_ = 1;
};

}  // namespace corvex::sim
