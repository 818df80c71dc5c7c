// The fixture most tests start from: a fresh Corvex on a virtual clock and a scripted host,
// with its own temporary CORVEX_HOME that is removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

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

// A whole file's bytes (empty when it cannot be read), and a file made from bytes.
std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

struct TestRig {
  TestRig();

  TempDirectory home;
  VirtualClock clock;
  ScriptedHost host{&clock};
  Corvex corvex;
};

}  // namespace corvex::testing
