// The fixture most tests start from: a fresh Corvex on a virtual clock and a scripted host,
// with its own temporary CORVEX_HOME that is removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "corvex.h"
#include "state/guiding_state.h"
#include "sim/observatory.h"
#include "support/scripted_host.h"

namespace corvex::testing {

// A fresh, empty directory under the system temp directory, removed with the object.
// kInMemory puts it on /dev/shm where there is one, for tests that replace a file thousands
// of times and would otherwise wait on the disk for every flush.
class TempDirectory {
 public:
  enum class Backing { kTempDirectory, kInMemory };
  explicit TempDirectory(Backing backing = Backing::kTempDirectory);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A whole file's bytes (empty when it cannot be read), and a file made from bytes.
std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

struct TestRig {
  TestRig();

  TempDirectory home;
  VirtualClock clock;
  ScriptedHost host{&clock};
  Corvex corvex;
};

// A mount that stays where it is moved: no drift, periodic error or backlash.
sim::SimConfig StillMount();

// The simulated observatory behind the rig's camera: the camera found, the telescope on
// LX200. (A camera that is not found fails the test.)
std::shared_ptr<sim::SimulatedObservatory> AttachObservatory(TestRig& rig,
                                                             const sim::SimConfig& config = {});

// A full frame at the current exposure and its brightest star picked as the guide star, as
// the command-line tool starts guiding; false when either fails.
bool PickBrightestStar(Corvex& corvex);
// A guider frame and the star at `at` (else its brightest) selected as the guider's star.
bool SelectBrightestGuiderStar(Corvex& corvex, std::optional<SamplePoint> at = {});

}  // namespace corvex::testing
