#include "mount/mount.h"

#include <charconv>

namespace corvex {

bool ParseServerAddress(const std::string& text, std::string& host, int& port) {
  const std::size_t colon = text.rfind(':');
  const std::string name = text.substr(0, colon);
  if (name.empty() || name.find_first_of(" \t:/") != std::string::npos) return false;
  int number = 7624;
  if (colon != std::string::npos) {
    const char* begin = text.data() + colon + 1;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(begin, end, number);
    if (begin == end || ec != std::errc() || at != end || number < 1 || number > 65535) {
      return false;
    }
  }
  host = name;
  port = number;
  return true;
}

}  // namespace corvex
