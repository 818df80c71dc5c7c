// The file jobs of the command-line tool: info, convert and settings.
#pragma once

#include <string>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

enum class FitsEncoding { kAsRead, kUnsigned, kSigned };

// Loads IN as the Open command does; false (after its message) when it was refused.
bool LoadImage(Corvex& corvex, const std::string& in);
// Writes OUT as FITS (.fit/.fits) or native raw, with the colour planes when present.
bool SaveImage(Corvex& corvex, const std::string& out, FitsEncoding encoding);

int RunInfo(Corvex& corvex, const std::string& file);
int RunConvert(Corvex& corvex, const std::string& in, const std::string& out,
               FitsEncoding encoding);
int RunSettings(Corvex& corvex, bool writeDefaults);

}  // namespace corvex::cli
