// The running kernel's version, for the camera-found summary.
#pragma once

#include <string_view>

namespace corvex {

struct OsVersion {
  int major = 0;
  int minor = 0;
};

// Major and minor number from a kernel release text such as "6.1.0-18-amd64"; 0 for a
// number that is not there.
OsVersion ParseOsRelease(std::string_view release);

// The version uname(2) reports for this machine.
OsVersion CurrentOsVersion();

}  // namespace corvex
