// The fixture of the driver's tests: an indiserver of the test's own running the driver on
// the simulated observatory, a BaseClient connected to it, and what the tests check frames
// with.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "indi_server.h"
#include "indi_test_client.h"

namespace corvex::testing {

// A still sky (no drift, no periodic error, no Dec backlash) so that the stars are where the
// seed puts them and a pulse moves the mount by exactly its length at the guide rate, and a
// quick readout so that a 1 s exposure is over in under two seconds.
inline constexpr const char* kStillSky =
    "seed=7,drift=0:0,periodic=0:480,backlash=0,readout-ms=300";

class DriverTest : public ::testing::Test {
 protected:
  // Starts a server with the driver on the simulator set by `simSettings` and connects.
  // `prepare` runs in the server's private HOME before the server starts.
  void StartDriver(const std::string& simSettings = kStillSky,
                   const std::function<void(const std::filesystem::path& home)>& prepare = {}) {
    server = std::make_unique<IndiServer>(
        std::vector<std::string>{CORVEX_INDI_DRIVER},
        std::map<std::string, std::string>{{"CORVEX_CAMERA", "sim"}, {"CORVEX_SIM", simSettings}});
    if (prepare) prepare(server->home());
    ASSERT_TRUE(server->Start()) << server->Log();
    client = std::make_unique<IndiTestClient>();
    ASSERT_TRUE(client->Open(server->port())) << server->Log();
    ASSERT_TRUE(client->ConnectDevice()) << server->Log();
  }

  void TearDown() override {
    client.reset();
    server.reset();
  }

  // Exposes the main camera for `seconds` and waits for the frame and the exposure's end.
  std::vector<ReceivedBlob> Expose(double seconds, int timeoutMs = 10000) {
    client->ClearReceived();
    client->SetNumber("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", seconds);
    client->WaitFor([&] { return !client->Blobs().empty(); }, timeoutMs);
    // The exposure's last update follows its frame; a new request sent before it arrives
    // would be built on the old value.
    client->WaitFor([&] { return client->State("CCD_EXPOSURE") != "Busy"; }, 2000);
    return client->Blobs();
  }

  // The same for the guide head.
  std::vector<ReceivedBlob> ExposeGuider(double seconds, int timeoutMs = 8000) {
    client->ClearReceived();
    client->SetNumber("GUIDER_EXPOSURE", "GUIDER_EXPOSURE_VALUE", seconds);
    client->WaitFor([&] { return !client->Blobs().empty(); }, timeoutMs);
    client->WaitFor([&] { return client->State("GUIDER_EXPOSURE") != "Busy"; }, 2000);
    return client->Blobs();
  }

  // The simulated observatory's truth as the driver shows it.
  double Truth(const std::string& element) { return client->Number("CORVEX_SIM_TRUTH", element); }

  bool SomeMessageHas(const std::string& text) {
    for (const std::string& message : client->Messages()) {
      if (message.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::string SaveBlob(const ReceivedBlob& blob, const std::string& name) {
    const std::string path = (server->home() / name).string();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(blob.bytes.data()),
              static_cast<std::streamsize>(blob.bytes.size()));
    return path;
  }

  std::unique_ptr<IndiServer> server;
  std::unique_ptr<IndiTestClient> client;
};

// The largest value within `radius` of (column, row) of a 512-stride frame, and the frame's
// median: a star stands out of the one by far more than the noise.
int PeakNear(const std::vector<std::uint16_t>& image, int column, int row, int radius);
int Median(std::vector<std::uint16_t> image);

}  // namespace corvex::testing
