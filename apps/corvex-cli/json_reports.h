// What info and settings put into the JSON report: the image file's kind, geometry, header
// and sample figures, and every setting with its value.
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

}  // namespace corvex::cli
