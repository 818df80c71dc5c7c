// What info, settings and train put into the JSON report: the image file's kind, geometry,
// header and sample figures, every setting with its value, and what a training measured.
#pragma once

#include <filesystem>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

// After info has loaded `file` into `corvex`.
void ReportImageFile(const Corvex& corvex, const std::filesystem::path& file);
// After settings has read (or defaulted) the settings.
void ReportSettings(const Corvex& corvex);
// After a training that completed: what it measured, for the guider or for self-guiding.
void ReportTraining(const Corvex& corvex, bool guider);

}  // namespace corvex::cli
