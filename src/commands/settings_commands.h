// The program's settings files: Corvex.ini read into and written from the program's settings
// and FITS header texts, at the file's usual place or another; and corvex.conf beside it.
#pragma once

#include <filesystem>
#include <span>
#include <string_view>

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

// The second settings file, corvex.conf beside the settings file (program_options_file.h).
// Reads it into corvex.options; a file that cannot be read, and lines that were not used, are
// named in one message. The file is never written. True when nothing was wrong (no file at
// all counts as nothing wrong: every setting has its default).
bool ReadProgramOptionsFile(Corvex& corvex);
// Writes `keys` of corvex.options into corvex.conf, keeping every other line; a failure is
// shown with its cause. True when written.
bool WriteProgramOptionsFile(Corvex& corvex, std::span<const std::string_view> keys);

}  // namespace corvex
