// Translation of the program's drive-C paths onto this machine, and the per-run temp directory.
#include "platform/paths.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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
  std::vector<std::string> matches;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string entryName = entry.path().filename().string();
    if (entryName == name) return entryName;
    if (EqualsIgnoringCase(entryName, name)) matches.push_back(std::move(entryName));
  }
  if (matches.empty()) return std::nullopt;
  return *std::min_element(matches.begin(), matches.end());
}

}  // namespace

Paths::Paths(fs::path home) : home_(std::move(home)) {}

Paths::~Paths() {
  if (tempDir_) {
    std::error_code ec;
    fs::remove_all(*tempDir_, ec);
  }
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
  return tempDir_;
}

}  // namespace corvex
