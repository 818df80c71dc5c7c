// corvex-cli process: an image file through a list of processing operations.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "file_jobs.h"

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

// One parsed "--op" value, ready to run on a Corvex. `run` returns false when the step could
// not be done (a file it needs failed to load, a colour step on a grey image, ...); its
// message has then been shown.
struct ProcessingStep {
  std::string text;
  std::function<bool(Corvex&)> run;
};

// Parses an operation ("normal:10:200", "median:2:6", "invert", ...); an error text for a
// name it does not know, parameters outside their dialog's range, or a file it needs that
// cannot be used (not found, not readable, not an image file).
std::optional<ProcessingStep> ParseProcessingStep(const std::string& text, std::string& error);

// Lists the operations and their ranges, for --help.
std::string ProcessingStepHelp();

// Loads IN, runs the steps in order and writes OUT in `format`; a step that fails ends the
// job with nothing written.
int RunProcess(Corvex& corvex, const std::string& in, const std::string& out, ImageFormat format,
               const std::vector<ProcessingStep>& steps);

}  // namespace corvex::cli
