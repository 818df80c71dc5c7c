// The program's settings file: read into and written from the program's settings and FITS
// header texts, at the file's usual place or another.
#pragma once

#include <filesystem>

#include "files/settings_file.h"

namespace corvex {

struct Corvex;

// The settings file at `path` (at its usual place when none is given) into
// corvex.state.settings and corvex.fits, with its messages to corvex.host; the results are
// those of the files layer's ReadSettingsFile.
int ReadSettingsFile(Corvex& corvex, const std::filesystem::path& path,
                     SettingsRepair repair = SettingsRepair::kRewrite);
int ReadSettingsFile(Corvex& corvex, SettingsRepair repair = SettingsRepair::kRewrite);

// corvex.state.settings and corvex.fits written to the settings file at `path` (at its usual
// place when none is given): 0 on success, 3 on any failure, with `error` saying why.
int WriteSettingsFile(Corvex& corvex, const std::filesystem::path& path, int* error = nullptr);
int WriteSettingsFile(Corvex& corvex);

}  // namespace corvex
