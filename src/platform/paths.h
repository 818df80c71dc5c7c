// Where the program's fixed drive-C locations live on this machine.
//
// The program's "c:\" is $CORVEX_HOME (default ~/Corvex). Stored paths in Windows form
// ("c:\AUTOSAVE\IMG1.FIT") are translated under it, case-insensitively as the original file
// system was; POSIX paths are used as they are. The temporary display bitmaps go to a private
// directory made once per run, never to a fixed shared path; it is removed when the program
// ends, whether it returns, calls exit, or is ended by SIGTERM, SIGHUP or Ctrl-C.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvex {

class Paths {
 public:
  explicit Paths(std::filesystem::path home);
  ~Paths();
  Paths(const Paths&) = delete;
  Paths& operator=(const Paths&) = delete;

  // $CORVEX_HOME when set and not empty, else $HOME/Corvex, else ./Corvex.
  static std::filesystem::path HomeFromEnvironment();

  const std::filesystem::path& Home() const { return home_; }

  // Translates a stored path. Windows form (a drive letter and colon, or a leading
  // backslash) maps under Home(): drive c (or none) is Home() itself, any other drive d is
  // Home()/d. Each component matches an existing entry whatever its case; a component with
  // no existing entry is written in lower case, except a final file name with an extension,
  // which keeps its case ("c:\AUTOSAVE\Corvex.ini" -> Home()/autosave/Corvex.ini). ".."
  // never climbs above the drive. Anything else is a POSIX path and is returned unchanged.
  std::filesystem::path Map(std::string_view stored) const;

  static bool IsWindowsForm(std::string_view stored);

  std::filesystem::path SettingsFile() const { return Map("c:\\autosave\\Corvex.ini"); }
  std::filesystem::path AutosaveDirectory() const { return Map("c:\\AUTOSAVE"); }
  std::filesystem::path DefaultDarkFile() const { return Map("c:\\dark.def"); }
  std::filesystem::path DefaultFlatFile() const { return Map("c:\\flat.def"); }

  // The private per-run directory (mode 0700, under $XDG_RUNTIME_DIR or /tmp), made on the
  // first call and removed with its contents when this object goes. nullopt when it cannot
  // be made; the caller reports that as its own failure.
  //
  // Making it also arranges for its removal when the program does not get as far as this
  // object's destructor: at exit, and on SIGTERM, SIGHUP and SIGINT, which then end the
  // program as they would have (a signal the program ignores or handles itself is left so).
  std::optional<std::filesystem::path> TempDirectory();

 private:
  std::filesystem::path home_;
  std::optional<std::filesystem::path> tempDir_;
  int cleanupSlot_ = -1;
};

// Empties and removes every per-run directory that still exists, at once. Safe in a signal
// handler: a handler that ends the program with _exit calls this first.
void RemoveRunTempDirectoriesNow();

}  // namespace corvex
