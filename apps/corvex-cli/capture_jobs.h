// The camera jobs of the command-line tool: snap and guider-snap.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

struct ExposureSetting {
  int value = 1;
  char unit = 's';
};
// "5s", "5t", "250q", "2m": a whole number and one of the camera panel's unit letters
// (`allowed`); a bare number means seconds.
std::optional<ExposureSetting> ParseExposure(const std::string& text, const std::string& allowed);

int RunSnap(Corvex& corvex, const ExposureSetting& exposure, const std::string& out);

struct GuiderSnapOptions {
  ExposureSetting exposure;
  std::string dark;  // a 500 x 290 PGM to subtract, or empty
  bool hotPixelFilter = true;
  int gain = 8;
};
int RunGuiderSnap(Corvex& corvex, const GuiderSnapOptions& options, const std::string& out);

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
  bool beep = false;
  std::optional<std::pair<int, int>> guideStar;  // the star a series is aligned on
};
int RunCaptureJob(Corvex& corvex, const CaptureOptions& options);

struct FocusOptions {
  ExposureSetting exposure;
  int frames = 5;
  bool autoExposure = false;
  std::optional<std::pair<int, int>> window;
};
int RunFocusJob(Corvex& corvex, const FocusOptions& options);

}  // namespace corvex::cli
