// The camera jobs of the command-line tool: snap, guider-snap, capture and focus. Each checks
// what it will write and read before the first exposure, keeps no frame whose transfers
// failed, and answers with the tool's exit codes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "arguments.h"
#include "file_jobs.h"

namespace corvex {
struct Corvex;
class TerminalHost;
}  // namespace corvex

namespace corvex::cli {

struct TransferFaults;

// What a camera job works with besides the context: the terminal (was Ctrl-C pressed?) and
// the count of failed transfers on the camera link.
struct CameraJob {
  Corvex& corvex;
  TerminalHost& host;
  const TransferFaults& faults;
};

int RunSnap(const CameraJob& job, const ExposureSetting& exposure, const std::filesystem::path& out,
            ImageFormat format);

struct GuiderSnapOptions {
  ExposureSetting exposure;
  std::string dark;  // a 500 x 290 PGM to subtract, or empty
  bool hotPixelFilter = true;
  int gain = 8;
};
int RunGuiderSnap(const CameraJob& job, const GuiderSnapOptions& options,
                  const std::filesystem::path& out);

struct CaptureOptions {
  ExposureSetting exposure;
  int count = 1;
  bool continuous = false;
  bool average = false;
  bool alternativeAlign = false;
  bool startDelay = false;
  int pauseMinutes = 0;
  bool darkSubtract = false;
  std::string dark;  // the dark frame file, else the default one
  bool colour = false;
  bool save = false;
  std::string format;  // what --save writes: native, standard or both; empty: corvex.conf's
  bool beep = false;
  std::optional<std::pair<int, int>> guideStar;  // the star a series is aligned on
  std::string output;                            // the final frame goes here too, when given
  bool selfGuide = false;                        // guide every exposure on the guide star
  std::optional<int> dither;                     // dither by up to this many pixels
  std::optional<std::uint64_t> ditherSeed;       // the simulator's seed: the same dithers
};
int RunCaptureJob(const CameraJob& job, const CaptureOptions& options);

struct FocusOptions {
  ExposureSetting exposure{5, 't'};
  int frames = 5;
  bool autoExposure = false;
  std::optional<std::pair<int, int>> window;
};
int RunFocusJob(const CameraJob& job, const FocusOptions& options);

}  // namespace corvex::cli
