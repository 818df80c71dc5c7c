// Paths as the user finds them on this machine: the program keeps its locations in the
// original Windows form ("c:\AUTOSAVE"), which is stored unchanged; windows show where the
// files really are, with the home directory written "~".
#pragma once

#include <QString>
#include <filesystem>
#include <string_view>

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

// `path` with the user's home directory shown as "~".
QString ShownPath(const std::filesystem::path& path);
// A stored path (Windows form or POSIX) mapped onto this machine, then shown as above.
QString ShownStoredPath(const Corvex& corvex, std::string_view stored);

}  // namespace corvex::ui
