// A telescope mount driven on its own, outside the camera: timed guide pulses, go-to by
// coordinates of date, the mount's position, open-ended motion and abort. The guiding and the
// telescope panel see only this interface; the INDI client behind it lives in indi_mount.cpp.
#pragma once

#include <optional>
#include <string>

namespace corvex {

// Right ascension in hours (0-24) and declination in degrees, of the epoch of date.
struct SkyPosition {
  double raHours = 0;
  double decDegrees = 0;
};

// How waiting for a guide pulse ended.
enum class PulseEnd {
  kDone,      // the mount reported the pulse finished
  kTimedOut,  // the mount did not report its end in time
  kLost,      // the connection to the server or the mount went away
};

class Mount {
 public:
  virtual ~Mount() = default;

  // Connects to the server and the mount; false with `error` saying what failed. Blocks for
  // at most a few seconds.
  virtual bool Connect(std::string& error) = 0;
  // Connected, and nothing was lost since.
  virtual bool Ready() const = 0;
  // The server or the mount went away after Connect succeeded.
  virtual bool Lost() const = 0;
  // "Telescope Simulator at localhost:7624", for messages.
  virtual std::string Name() const = 0;

  // A timed guide pulse towards 'n', 's', 'e' or 'w'. False when it could not be sent.
  virtual bool StartPulse(char direction, int ms) = 0;
  // Waits until the last pulse has ended, at most `timeoutMs` of real time.
  virtual PulseEnd WaitPulse(int timeoutMs) = 0;

  // A go-to (the mount tracks on arrival). False when it could not be sent.
  virtual bool GoTo(const SkyPosition& ofDate) = 0;
  // Whether a go-to is under way.
  virtual bool Slewing() const = 0;
  // The last position the mount reported.
  virtual std::optional<SkyPosition> Position() const = 0;

  // Moves at the mount's chosen slew rate towards 'n', 's', 'e' or 'w' until StopMotion.
  virtual bool StartMotion(char direction) = 0;
  virtual bool StopMotion() = 0;
  // Stops every motion: a go-to, a held move, a pulse.
  virtual bool Abort() = 0;
};

// "HOST:PORT" as host and port (the port 1 to 65535; a missing ":PORT" is INDI's 7624).
// False when the text is not an address.
bool ParseServerAddress(const std::string& text, std::string& host, int& port);

}  // namespace corvex
