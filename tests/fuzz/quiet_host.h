// What the fuzz targets share: the quiet host (it counts messages, so a target can check for
// them) and the check that stops a run on a broken promise.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/quiet_host.h"

namespace corvex::fuzz {

using corvex::QuietHost;

// Stops the run with a message when a promise of the code under test is broken; libFuzzer
// keeps the input that did it.
inline void Require(bool holds, const char* promise) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

}  // namespace corvex::fuzz
