// The camera jobs of the command-line tool: snap and guider-snap.
#pragma once

#include <optional>
#include <string>

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

}  // namespace corvex::cli
