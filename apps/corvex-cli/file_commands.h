// The file jobs of the command-line tool: info, convert and settings.
#pragma once

#include <string>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

enum class FitsEncoding { kAsRead, kUnsigned, kSigned };

int RunInfo(Corvex& corvex, const std::string& file);
int RunConvert(Corvex& corvex, const std::string& in, const std::string& out,
               FitsEncoding encoding);
int RunSettings(Corvex& corvex, bool writeDefaults);

}  // namespace corvex::cli
