// The three unit tables for exposure lengths.
#include "state/exposure.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace corvex {

namespace {
// value x factor, held inside int so that an absurd value cannot wrap into a short exposure.
int Scaled(int value, int factor) {
  const std::int64_t ms = static_cast<std::int64_t>(value) * factor;
  return static_cast<int>(std::clamp<std::int64_t>(ms, INT_MIN, INT_MAX));
}
}  // namespace

int MainExposureMs(int value, char unit) {
  switch (unit) {
    case 'q': return value;
    case 'h': return Scaled(value, 10);
    case 't': return Scaled(value, 100);
    case 'm': return Scaled(value, 60000);
    default: return Scaled(value, 1000);
  }
}

int ShortExposureMs(int value, char unit) {
  switch (unit) {
    case 'q': return value;
    case 'h': return Scaled(value, 10);
    case 't': return Scaled(value, 100);
    default: return Scaled(value, 1000);
  }
}

int GuiderExposureMs(int value, char unit) {
  switch (unit) {
    case 'h': return Scaled(value, 10);
    case 't': return Scaled(value, 100);
    default: return Scaled(value, 1000);
  }
}

}  // namespace corvex
