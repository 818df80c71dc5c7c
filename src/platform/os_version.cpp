// Kernel version from uname(2).
#include "platform/os_version.h"

#include <sys/utsname.h>

#include <cctype>

namespace corvex {

namespace {
// Reads the decimal number at `pos` and moves past it and one following '.'.
int TakeNumber(std::string_view text, std::size_t& pos) {
  int value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) &&
         value < 100000) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos < text.size() && text[pos] == '.') ++pos;
  return value;
}
}  // namespace

OsVersion ParseOsRelease(std::string_view release) {
  std::size_t pos = 0;
  OsVersion version;
  version.major = TakeNumber(release, pos);
  version.minor = TakeNumber(release, pos);
  return version;
}

OsVersion CurrentOsVersion() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return ParseOsRelease(names.release);
}

}  // namespace corvex
