// corvex-cli process: an image file through a list of processing operations.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

// One parsed "--op" value, ready to run on a Corvex.
struct ProcessingStep {
  std::string text;
  std::function<void(Corvex&)> run;
};

// Parses an operation ("normal:10:200", "median:2:6", "invert", ...); an error text for a
// name it does not know or parameters outside their dialog's range.
std::optional<ProcessingStep> ParseProcessingStep(const std::string& text, std::string& error);

// Lists the operations and their ranges, for --help.
std::string ProcessingStepHelp();

int RunProcess(Corvex& corvex, const std::string& in, const std::string& out,
               const std::vector<ProcessingStep>& steps);

}  // namespace corvex::cli
