// The program's settings files, read into and written from the program's own state.
#include "commands/settings_commands.h"

#include "corvex.h"
#include "files/program_options_file.h"
#include "platform/file_error.h"

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

bool ReadProgramOptionsFile(Corvex& corvex) {
  const std::filesystem::path path = ProgramOptionsPath(corvex.paths.SettingsFile());
  const OptionsReadResult result = ReadProgramOptions(path, corvex.options);
  if (result.error != 0) {
    ShowSettingsMessage(corvex.host, "Unable to read the settings file " + path.string() + ": " +
                                         FileErrorText(path, result.error) +
                                         ".\nIts settings keep their defaults.");
    return false;
  }
  if (result.problems.empty() && result.unknownKeys.empty()) return true;
  std::string text = "In the settings file " + path.string() + ":";
  for (const auto* lines : {&result.problems, &result.unknownKeys}) {
    for (const std::string& line : *lines) text += "\n" + line;
  }
  ShowSettingsMessage(corvex.host, text);
  return result.Sound();
}

bool WriteProgramOptionsFile(Corvex& corvex, std::span<const std::string_view> keys) {
  const std::filesystem::path path = ProgramOptionsPath(corvex.paths.SettingsFile());
  int error = 0;
  if (SaveProgramOptions(path, corvex.options, keys, &error)) return true;
  ShowSettingsMessage(corvex.host, "Unable to save the settings file " + path.string() + ": " +
                                       FileErrorText(path, error) + ".");
  return false;
}

}  // namespace corvex
