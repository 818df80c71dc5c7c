// corvex-cli settings --set NAME=VALUE: changes settings in the settings file with the checks
// the defaults dialog applies, all of them or none.
#pragma once

#include <string>
#include <vector>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

// Each assignment "NAME=VALUE". 0 when the file was written; 2 when an assignment was
// refused (the file is left as it was); 1 when the file could not be read soundly or
// written.
int RunSettingsSet(Corvex& corvex, const std::vector<std::string>& assignments);

}  // namespace corvex::cli
