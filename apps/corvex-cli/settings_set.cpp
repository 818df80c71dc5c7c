#include "settings_set.h"

#include <cstdio>
#include <filesystem>

#include "commands/settings_commands.h"
#include "corvex.h"
#include "exit_codes.h"
#include "files/settings_file.h"
#include "platform/terminal_host.h"

namespace corvex::cli {

int RunSettingsSet(Corvex& corvex, const std::vector<std::string>& assignments) {
  const std::filesystem::path path = corvex.paths.SettingsFile();
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    // A damaged file is not rewritten from a partial read: whatever it holds stays.
    const int read = ReadSettingsFile(corvex, path, SettingsRepair::kLeaveFile);
    if (read != kSettingsOk) {
      std::fprintf(stderr,
                   "corvex-cli: %s could not be read soundly; nothing was changed (see "
                   "corvex-cli settings)\n",
                   TerminalText(path.string()).c_str());
      return kExitFailed;
    }
  }
  ProgramSettings settings = corvex.state.settings;
  FitsHeaderFields fields = corvex.fits;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::fprintf(stderr, "corvex-cli: --set takes NAME=VALUE, not \"%s\"\n",
                   TerminalText(assignment).c_str());
      return kExitUsage;
    }
    const std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    if (const auto problem = SetSetting(settings, fields, name, value)) {
      std::fprintf(stderr, "corvex-cli: %s; nothing was changed\n", TerminalText(*problem).c_str());
      return kExitUsage;
    }
  }
  corvex.state.settings = settings;
  corvex.fits = fields;
  if (WriteSettingsFile(corvex, path) != kSettingsOk) {
    std::fprintf(stderr, "corvex-cli: could not write %s\n", TerminalText(path.string()).c_str());
    return kExitFailed;
  }
  for (const std::string& assignment : assignments) {
    std::printf("Set %s\n", TerminalText(assignment).c_str());
  }
  std::printf("Wrote %s\n", TerminalText(path.string()).c_str());
  return kExitOk;
}

}  // namespace corvex::cli
