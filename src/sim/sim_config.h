// What the simulated observatory looks like: sky, mount, camera timing and the faults it
// injects. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvex::sim {

struct SimConfig {
  std::uint64_t seed = 1;
  double driftRaPxPerMin = 0.5;  // the mount's drift, in main camera pixels per minute
  double driftDecPxPerMin = 0.2;
  double periodicPx = 8;          // periodic error in RA, peak to peak
  double periodicSeconds = 480;   // ... and its period
  double backlashPx = 2;          // Dec backlash: commanded travel lost on a reversal
  double guideRatePxPerSec = 6;   // star motion at the guide rate
  double guiderRotationDeg = 30;  // guider camera's angle to the RA axis
  bool guiderMirrored = false;    // the guider sees the sky mirrored (an odd number of mirrors)
  double fwhmPx = 2.5;            // star image width
  int fullReadoutMs = 2500;       // how long a full-frame readout takes
  int windowReadoutMs = 20;
  int guiderReadoutMs = 300;
  // Faults, counted from 1; 0 means never.
  int failWriteAt = 0;         // this request's write fails
  int shortReadAt = 0;         // this reply comes back half long
  int disconnectAfter = 0;     // every transfer after this many requests fails
  bool garbageSerial = false;  // serial replies are random bytes
};

// Applies "key=value,key=value" settings (as in CORVEX_SIM) over `config`. Keys: seed,
// drift=RA:DEC, drift-ra, drift-dec, periodic=PX:SECONDS, periodic-px, periodic-seconds,
// backlash, guide-rate, guider-rotation, guider-mirror (0 or 1), fwhm, readout-ms, fail-write, short-read,
// disconnect-after, garbage-serial (0 or 1). Every number must be finite and inside a range
// that keeps the simulation on the sensor's scale. Returns an error text naming the bad entry
// and what it takes, changing nothing.
std::optional<std::string> ApplySimSettings(std::string_view text, SimConfig& config);

}  // namespace corvex::sim
