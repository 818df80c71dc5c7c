// Translation of the program's drive-C paths onto this machine, and the per-run temp directory.
#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace corvex {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Lower(a) == Lower(b);
}

std::vector<std::string> SplitComponents(std::string_view rest) {
  std::vector<std::string> parts;
  std::string current;
  auto flush = [&] {
    if (current.empty() || current == ".") {
      // nothing
    } else if (current == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(current);
    }
    current.clear();
  };
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      current.push_back(c);
    }
  }
  flush();
  return parts;
}

// The entry of `dir` whose name equals `name` ignoring case: the exact spelling when it is
// there, otherwise the first such entry in name order, so the choice never depends on the
// order the file system lists them in.
std::optional<std::string> FindEntryIgnoringCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  // The name as it stands wins over any other case of it, and one look at it spares listing
  // a directory that may hold a night's frames.
  if (fs::exists(fs::symlink_status(dir / name, ec))) return name;
  std::vector<std::string> matches;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string entryName = entry.path().filename().string();
    if (entryName == name) return entryName;
    if (EqualsIgnoringCase(entryName, name)) matches.push_back(std::move(entryName));
  }
  if (matches.empty()) return std::nullopt;
  return *std::min_element(matches.begin(), matches.end());
}

// ---- Removing the per-run directories when the program is ended ----
//
// A signal handler may not allocate or take locks, so the directories to remove are kept in
// fixed slots of plain characters, and removal uses only system calls. One slot per live Paths
// object that made a directory; a program has one, a test program a few at a time.

constexpr int kCleanupSlots = 16;

struct CleanupSlot {
  std::atomic<bool> active{false};
  pid_t owner = 0;  // a forked child never removes its parent's directory
  char path[PATH_MAX] = {};
};
CleanupSlot g_cleanupSlots[kCleanupSlots];
std::mutex g_cleanupMutex;  // guards taking and giving back slots, never the handler

constexpr int kTerminatingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// Unlinks every entry of a directory that holds only files, then the directory. Removing
// entries while reading can make a read skip some, so it reads again until nothing is left.
void EmptyAndRemoveDirectory(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    alignas(8) char buffer[4096];
    for (int pass = 0; pass < 8; ++pass) {
      bool removedAny = false;
      ::lseek(fd, 0, SEEK_SET);
      ssize_t got;
      while ((got = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
          const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
          at += entry->d_reclen;
          const char* name = entry->d_name;
          if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
          if (::unlinkat(fd, name, 0) == 0) removedAny = true;
        }
      }
      if (!removedAny) break;
    }
    ::close(fd);
  }
  ::rmdir(path);
}

void OnTerminatingSignal(int signal) {
  RemoveRunTempDirectoriesNow();
  // The handler was installed with SA_RESETHAND, so this ends the program as the signal
  // would have, once the handler returns.
  ::raise(signal);
}

void RemoveAtExit() {
  RemoveRunTempDirectoriesNow();
}

// Installed once, on the first directory made: a signal that is ignored (nohup) or that the
// program handles itself (the command-line tool's Ctrl-C) is left as it is.
void InstallCleanupHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(RemoveAtExit);
    for (int signal : kTerminatingSignals) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0) continue;
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = OnTerminatingSignal;
      action.sa_flags = SA_RESETHAND;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

int TakeCleanupSlot(const fs::path& directory) {
  const std::string text = directory.string();
  if (text.size() >= PATH_MAX) return -1;
  std::lock_guard<std::mutex> lock(g_cleanupMutex);
  for (int i = 0; i < kCleanupSlots; ++i) {
    CleanupSlot& slot = g_cleanupSlots[i];
    if (slot.active.load()) continue;
    std::memcpy(slot.path, text.c_str(), text.size() + 1);
    slot.owner = ::getpid();
    slot.active.store(true);
    return i;
  }
  return -1;
}

void GiveBackCleanupSlot(int index) {
  if (index < 0) return;
  std::lock_guard<std::mutex> lock(g_cleanupMutex);
  g_cleanupSlots[index].active.store(false);
}

}  // namespace

void RemoveRunTempDirectoriesNow() {
  const pid_t self = ::getpid();
  for (CleanupSlot& slot : g_cleanupSlots) {
    if (slot.owner == self && slot.active.exchange(false)) EmptyAndRemoveDirectory(slot.path);
  }
}

Paths::Paths(fs::path home) : home_(std::move(home)) {}

Paths::~Paths() {
  if (tempDir_) {
    std::error_code ec;
    fs::remove_all(*tempDir_, ec);
  }
  GiveBackCleanupSlot(cleanupSlot_);
}

fs::path Paths::HomeFromEnvironment() {
  if (const char* home = std::getenv("CORVEX_HOME"); home && *home) return fs::path(home);
  if (const char* user = std::getenv("HOME"); user && *user) return fs::path(user) / "Corvex";
  return fs::path("Corvex");
}

bool Paths::IsWindowsForm(std::string_view stored) {
  if (stored.size() >= 2 && std::isalpha(static_cast<unsigned char>(stored[0])) &&
      stored[1] == ':') {
    return true;
  }
  return !stored.empty() && stored[0] == '\\';
}

fs::path Paths::Map(std::string_view stored) const {
  if (!IsWindowsForm(stored)) return fs::path(std::string(stored));

  fs::path dir = home_;
  std::string_view rest = stored;
  if (stored.size() >= 2 && stored[1] == ':') {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(stored[0])));
    if (drive != 'c') dir /= std::string(1, drive);
    rest = stored.substr(2);
  }

  const std::vector<std::string> parts = SplitComponents(rest);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (auto existing = FindEntryIgnoringCase(dir, part)) {
      dir /= *existing;
      continue;
    }
    const bool isFileName = i + 1 == parts.size() && part.find('.') != std::string::npos;
    dir /= isFileName ? part : Lower(part);
  }
  return dir;
}

std::optional<fs::path> Paths::TempDirectory() {
  if (tempDir_) return tempDir_;
  fs::path base = "/tmp";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    std::error_code ec;
    if (fs::is_directory(runtime, ec)) base = runtime;
  }
  std::string pattern = (base / "corvex-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return std::nullopt;
  // mkdtemp already makes it 0700; say so again in case the umask or platform differ.
  chmod(buffer.data(), S_IRWXU);
  tempDir_ = fs::path(buffer.data());
  InstallCleanupHandlers();
  cleanupSlot_ = TakeCleanupSlot(*tempDir_);
  return tempDir_;
}

}  // namespace corvex
