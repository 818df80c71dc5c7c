// The telescope jobs of the command-line tool: train, guide and goto.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "capture_jobs.h"

namespace corvex {
struct Corvex;
namespace sim {
class SimulatedObservatory;
}
}  // namespace corvex

namespace corvex::cli {

struct GuideOptions {
  bool guider = false;  // --camera guider
  bool train = false;
  double minutes = 10;
  std::string log;     // CSV of the corrections, or empty
  std::string method;  // "lx200", "relays", "indi", or empty for the settings files' choice
  std::string indiServer;  // --indi HOST:PORT, else corvex.conf's
  std::string indiMount;   // --mount NAME, else corvex.conf's
  ExposureSetting exposure;
  std::optional<std::pair<int, int>> star;  // else the brightest star of a first frame
  int trainingSeconds = 0;                  // 0: the settings' (main) or 2 (guider)
  bool beep = false;                        // ring the bell at each move
  bool verbose = false;                     // each measured error on stderr
};

// `observatory` is the simulator behind the camera, or null for a real camera: it supplies
// the star's true offset for the closing line.
int RunTrainJob(Corvex& corvex, const GuideOptions& options);
int RunGuideJob(Corvex& corvex, const GuideOptions& options,
                const std::shared_ptr<sim::SimulatedObservatory>& observatory);

struct GoToOptions {
  std::optional<int> messier;
  std::optional<int> cngc;
  std::string planet;
  std::string ra;   // "H:M"
  std::string dec;  // "D:M", signed
  std::string method;  // as GuideOptions's
  std::string indiServer;
  std::string indiMount;
  bool wait = true;  // an INDI mount: follow the slew until it ends
};
int RunGoToJob(Corvex& corvex, const GoToOptions& options);

}  // namespace corvex::cli
