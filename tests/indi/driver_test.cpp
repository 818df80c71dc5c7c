// indi_corvex_ccd as INDI clients use it: an indiserver of the test's own runs the driver on
// the simulated observatory, and a BaseClient drives it over the network protocol. The
// exposures are real-clock (the driver is a process of its own), so they are kept short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "files/standard_fits.h"
#include "indi_server.h"
#include "indi_test_client.h"
#include "sim/sensor_render.h"
#include "sim/sim_config.h"
#include "sim/sky.h"
#include "state/image_store.h"

namespace corvex::testing {
namespace {

// A still sky (no drift, no periodic error) so that the stars are where the seed puts them,
// and a quick readout so that a 1 s exposure is over in under two seconds.
constexpr const char* kStillSky = "seed=7,drift=0:0,periodic=0:480,readout-ms=300";

class DriverTest : public ::testing::Test {
 protected:
  // Starts a server with the driver on the simulator set by `simSettings` and connects.
  void StartDriver(const std::string& simSettings = kStillSky) {
    server = std::make_unique<IndiServer>(
        std::vector<std::string>{CORVEX_INDI_DRIVER},
        std::map<std::string, std::string>{{"CORVEX_CAMERA", "sim"}, {"CORVEX_SIM", simSettings}});
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

// The output of a command, and whether it exited 0.
std::pair<bool, std::string> RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {false, ""};
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  return {pclose(pipe) == 0, output};
}

TEST_F(DriverTest, AOneSecondExposureArrivesAsStandardFitsWithTheSimulatorsStars) {
  StartDriver();
  const std::vector<ReceivedBlob> blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  EXPECT_EQ(blobs[0].property, "CCD1");
  EXPECT_EQ(blobs[0].format, ".fits");
  EXPECT_TRUE(client->WaitForState("CCD_EXPOSURE", "Ok", 2000));

  StandardFitsContents contents;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(blobs[0].bytes, 2, contents, problem), kStandardFitsOk) << problem;
  EXPECT_FALSE(contents.colour);
  EXPECT_EQ(contents.shape.bitpix, 16);
  EXPECT_DOUBLE_EQ(contents.fields.exposureSeconds, 1.0);

  // The brightest star of the seed's field stands out where the simulator puts it.
  sim::SimConfig config;
  ASSERT_FALSE(sim::ApplySimSettings(kStillSky, config));
  const sim::SimSky sky = sim::MakeSky(config.seed);
  const sim::SensorPoint star = sim::StarOnSensor(sky.mainStars.at(0), {0, 0}, false, config);
  const int column = static_cast<int>(std::lround(star.x)) + kReadoutLeftPad;
  const int row = static_cast<int>(std::lround(star.y));
  std::vector<std::uint16_t> sorted(contents.image.begin(), contents.image.end());
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const int median = sorted[sorted.size() / 2];
  int peak = 0;
  for (int y = std::max(0, row - 2); y <= std::min(kImageRows - 1, row + 2); ++y) {
    for (int x = std::max(0, column - 2); x <= std::min(kImageStride - 1, column + 2); ++x) {
      peak = std::max<int>(peak, contents.image[static_cast<std::size_t>(y * kImageStride + x)]);
    }
  }
  EXPECT_GT(peak, median + 1000) << "star at column " << column << ", row " << row;

  // Other programs take the frame as it is.
  const std::string path = SaveBlob(blobs[0], "frame.fits");
  const auto [verified, report] = RunCommand(std::string(CORVEX_FITSVERIFY) + " " + path);
  EXPECT_NE(report.find("Verification found 0 warning(s) and 0 error(s)"), std::string::npos)
      << report;
  const auto [read, astropy] =
      RunCommand(std::string(CORVEX_SYSTEM_PYTHON) +
                 " -I -c \"import sys; from astropy.io import fits; h = fits.open(sys.argv[1]); "
                 "print(h[0].data.shape, h[0].header['EXPTIME'], h[0].header['IMAGETYP'])\" " +
                 path);
  EXPECT_TRUE(read) << astropy;
  EXPECT_NE(astropy.find("(290, 510) 1.0 Light"), std::string::npos) << astropy;
}

TEST_F(DriverTest, AnAbortEndsALongExposureAtOnceAndSendsNoFrame) {
  StartDriver();
  client->ClearReceived();
  client->SetNumber("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 20);
  ASSERT_TRUE(client->WaitForState("CCD_EXPOSURE", "Busy", 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // The countdown runs while the exposure does.
  EXPECT_LT(client->Number("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE"), 19.5);

  const auto aborted = std::chrono::steady_clock::now();
  client->SetSwitch("CCD_ABORT_EXPOSURE", "ABORT");
  ASSERT_TRUE(client->WaitFor([&] { return client->State("CCD_EXPOSURE") != "Busy"; }, 1000));
  EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(client->Blobs().empty());
  // The camera is free again at once: the next exposure starts and arrives, and the aborted
  // one never does.
  const std::vector<ReceivedBlob> blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  StandardFitsContents contents;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(blobs[0].bytes, 2, contents, problem), kStandardFitsOk) << problem;
  EXPECT_DOUBLE_EQ(contents.fields.exposureSeconds, 1.0);
}

// Which transfer fails is counted in requests to the camera; a 1 s exposure takes
// kRequestsPerExposure of them, so the fault lands in the second exposure.
constexpr int kRequestsPerExposure = 4;

TEST_F(DriverTest, ACameraFaultAlertsTheExposureAndReconnectingRecovers) {
  struct Fault {
    std::string setting;
    std::string what;
  };
  const std::vector<Fault> faults = {
      {"disconnect-after=" + std::to_string(kRequestsPerExposure + 1), "a disconnect"},
      {"fail-write=" + std::to_string(kRequestsPerExposure + 2), "a failed write"},
      {"short-read=2", "a short readout"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    StartDriver(std::string(kStillSky) + "," + fault.setting);
    ASSERT_EQ(Expose(1).size(), 1u) << server->Log();

    client->ClearReceived();
    client->SetNumber("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 1);
    EXPECT_TRUE(client->WaitForState("CCD_EXPOSURE", "Alert", 6000));
    EXPECT_TRUE(client->Blobs().empty());
    const std::vector<std::string> messages = client->Messages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
      return m.find("its frame was not sent") != std::string::npos;
    })) << ::testing::PrintToString(messages);

    ASSERT_TRUE(client->DisconnectDevice());
    ASSERT_TRUE(client->ConnectDevice());
    EXPECT_EQ(Expose(1).size(), 1u) << ::testing::PrintToString(client->Messages());
    TearDown();
  }
}

}  // namespace
}  // namespace corvex::testing
