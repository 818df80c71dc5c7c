// Temporary directories, the standard test context and the simulated sky it can look at.
#include "support/test_rig.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "commands/camera_commands.h"
#include "camera/camera_link.h"
#include "guiding/star_pick.h"

namespace corvex::testing {

TempDirectory::TempDirectory(Backing backing) {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  std::error_code ec;
  if (backing == Backing::kInMemory && std::filesystem::is_directory("/dev/shm", ec)) {
    base = "/dev/shm";
  }
  std::string pattern = (base / "corvex-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDirectory::~TempDirectory() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TestRig::TestRig() : corvex(host, clock, home.path()) {}

sim::SimConfig StillMount() {
  sim::SimConfig config;
  config.driftRaPxPerMin = config.driftDecPxPerMin = config.periodicPx = 0;
  config.backlashPx = 0;
  return config;
}

std::shared_ptr<sim::SimulatedObservatory> AttachObservatory(TestRig& rig,
                                                             const sim::SimConfig& config) {
  auto observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  Corvex& corvex = rig.corvex;
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  EXPECT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
  corvex.state.settings.telescopeMethod = 'l';
  return observatory;
}

bool PickBrightestStar(Corvex& corvex) {
  if (!ExposeFullFrame(corvex)) return false;
  const auto at =
      BrightestStar(corvex.store.currentImage.data(), kImageStride, kImageRows, kImageStride, 24);
  return at && PickGuideStar(corvex, at->x, at->y);
}

bool SelectBrightestGuiderStar(Corvex& corvex, std::optional<SamplePoint> at) {
  GuiderExposure(corvex);
  if (!at) {
    at = BrightestStar(corvex.store.guiderImage.data(), kReadoutWidth, kImageRows, kReadoutWidth,
                       24);
  }
  return at && SelectGuiderStar(corvex, at->x, at->y);
}

}  // namespace corvex::testing
