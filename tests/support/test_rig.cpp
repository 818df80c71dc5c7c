// Temporary directories and the standard test context.
#include "support/test_rig.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace corvex::testing {

TempDirectory::TempDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvex-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDirectory::~TempDirectory() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestRig::TestRig() : corvex(host, clock, home.path()) {}

}  // namespace corvex::testing
