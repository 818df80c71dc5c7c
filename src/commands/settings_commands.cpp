// The program's settings file, read into and written from the program's own state.
#include "commands/settings_commands.h"

#include "corvex.h"

namespace corvex {

int ReadSettingsFile(Corvex& corvex, const std::filesystem::path& path, SettingsRepair repair) {
  return ReadSettingsFile(corvex.host, path, corvex.state.settings, corvex.fits, repair);
}

int ReadSettingsFile(Corvex& corvex, SettingsRepair repair) {
  return ReadSettingsFile(corvex, corvex.paths.SettingsFile(), repair);
}

int WriteSettingsFile(Corvex& corvex, const std::filesystem::path& path, int* error) {
  return WriteSettingsFile(path, corvex.state.settings, corvex.fits, error);
}

int WriteSettingsFile(Corvex& corvex) {
  return WriteSettingsFile(corvex, corvex.paths.SettingsFile());
}

}  // namespace corvex
