// The fixture most tests start from: a fresh Corvex on a virtual clock and a scripted host,
// with its own temporary CORVEX_HOME that is removed afterwards.
#pragma once

#include <filesystem>

#include "corvex.h"
#include "support/scripted_host.h"

namespace corvex::testing {

// A fresh, empty directory under the system temp directory, removed with the object.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct TestRig {
  TestRig();

  TempDirectory home;
  VirtualClock clock;
  ScriptedHost host{&clock};
  Corvex corvex;
};

}  // namespace corvex::testing
