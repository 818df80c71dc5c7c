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

#include "driver_fixture.h"
#include "files/standard_fits.h"
#include "sim/sensor_render.h"
#include "sim/sim_config.h"
#include "sim/sky.h"
#include "state/image_store.h"

namespace corvex::testing {
namespace {

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
  const int median = Median(contents.image);
  const int peak = PeakNear(contents.image, column, row, 2);
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

TEST_F(DriverTest, TheColourFormatSendsAnRgbCubeOfTheSameSky) {
  StartDriver();
  client->SetSwitch("CCD_CAPTURE_FORMAT", "INDI_RGB");
  ASSERT_TRUE(
      client->WaitFor([&] { return client->SwitchOn("CCD_CAPTURE_FORMAT", "INDI_RGB"); }, 2000));
  std::vector<ReceivedBlob> blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  StandardFitsContents contents;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(blobs[0].bytes, 2, contents, problem), kStandardFitsOk) << problem;
  EXPECT_TRUE(contents.colour);
  EXPECT_EQ(contents.shape.axes, (std::vector<long long>{510, 290, 3}));

  // The synthesis keeps the stars where they are.
  sim::SimConfig config;
  ASSERT_FALSE(sim::ApplySimSettings(kStillSky, config));
  const sim::SensorPoint star =
      sim::StarOnSensor(sim::MakeSky(config.seed).mainStars.at(0), {0, 0}, false, config);
  const int column = static_cast<int>(std::lround(star.x)) + kReadoutLeftPad;
  const int row = static_cast<int>(std::lround(star.y));
  EXPECT_GT(PeakNear(contents.image, column, row, 2), Median(contents.image) + 1000);

  const std::string path = SaveBlob(blobs[0], "colour.fits");
  const auto [verified, report] = RunCommand(std::string(CORVEX_FITSVERIFY) + " " + path);
  EXPECT_NE(report.find("Verification found 0 warning(s) and 0 error(s)"), std::string::npos)
      << report;
  const auto [read, astropy] = RunCommand(std::string(CORVEX_SYSTEM_PYTHON) +
                                          " -I -c \"import sys; from astropy.io import fits; "
                                          "print(fits.open(sys.argv[1])[0].data.shape)\" " +
                                          path);
  EXPECT_NE(astropy.find("(3, 290, 510)"), std::string::npos) << astropy;

  // Back to the raw format: the next frame is the mono frame again.
  client->SetSwitch("CCD_CAPTURE_FORMAT", "INDI_MONO");
  ASSERT_TRUE(
      client->WaitFor([&] { return client->SwitchOn("CCD_CAPTURE_FORMAT", "INDI_MONO"); }, 2000));
  blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  ASSERT_EQ(DecodeStandardFits(blobs[0].bytes, 2, contents, problem), kStandardFitsOk) << problem;
  EXPECT_FALSE(contents.colour);
}

TEST_F(DriverTest, LocalUploadSavesEveryFrameUnderANewNameOnTheDriversSide) {
  StartDriver();
  const std::filesystem::path directory = server->home() / "frames";
  std::filesystem::create_directories(directory);
  client->SetText("UPLOAD_SETTINGS", "UPLOAD_DIR", directory.string());
  client->SetText("UPLOAD_SETTINGS", "UPLOAD_PREFIX", "M42_XXX");
  client->SetSwitch("UPLOAD_MODE", "UPLOAD_LOCAL");
  ASSERT_TRUE(client->WaitFor(
      [&] {
        return client->SwitchOn("UPLOAD_MODE", "UPLOAD_LOCAL") &&
               client->Text("UPLOAD_SETTINGS", "UPLOAD_PREFIX") == "M42_XXX";
      },
      2000));

  // Local only: the frame is saved and nothing is sent.
  client->ClearReceived();
  client->SetNumber("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 1);
  const std::filesystem::path first = directory / "M42_001.fits";
  ASSERT_TRUE(client->WaitFor(
      [&] { return client->Text("CCD_FILE_PATH", "FILE_PATH") == first.string(); }, 8000))
      << server->Log();
  EXPECT_TRUE(client->WaitForState("CCD_EXPOSURE", "Ok", 2000));
  EXPECT_TRUE(client->Blobs().empty());
  StandardFitsContents contents;
  std::string problem;
  EXPECT_EQ(ReadStandardFits(first, 2, contents, problem), kStandardFitsOk) << problem;

  // Both: the next frame takes the next number, and the file is the frame that was sent.
  client->SetSwitch("UPLOAD_MODE", "UPLOAD_BOTH");
  ASSERT_TRUE(
      client->WaitFor([&] { return client->SwitchOn("UPLOAD_MODE", "UPLOAD_BOTH"); }, 2000));
  const std::vector<ReceivedBlob> blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  const std::filesystem::path second = directory / "M42_002.fits";
  std::ifstream in(second, std::ios::binary);
  const std::vector<std::uint8_t> saved((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, blobs[0].bytes);
  EXPECT_EQ(client->Text("CCD_FILE_PATH", "FILE_PATH"), second.string());
}

// The network case: the driver runs under a server at the telescope, and the client talks to a
// second server that pulls "Corvex CCD" from the first, as one chains servers across machines.
TEST_F(DriverTest, AChainedServerCarriesExposuresAndPulses) {
  server = std::make_unique<IndiServer>(
      std::vector<std::string>{CORVEX_INDI_DRIVER},
      std::map<std::string, std::string>{{"CORVEX_CAMERA", "sim"}, {"CORVEX_SIM", kStillSky}});
  ASSERT_TRUE(server->Start()) << server->Log();
  IndiServer chained({"Corvex CCD@localhost:" + std::to_string(server->port())}, {});
  ASSERT_TRUE(chained.Start()) << chained.Log();
  client = std::make_unique<IndiTestClient>();
  ASSERT_TRUE(client->Open(chained.port())) << chained.Log() << server->Log();
  ASSERT_TRUE(client->ConnectDevice()) << chained.Log() << server->Log();

  const std::vector<ReceivedBlob> blobs = Expose(1);
  ASSERT_EQ(blobs.size(), 1u) << chained.Log() << server->Log();
  StandardFitsContents contents;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(blobs[0].bytes, 2, contents, problem), kStandardFitsOk) << problem;
  EXPECT_DOUBLE_EQ(contents.fields.exposureSeconds, 1.0);

  client->SetNumber("TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_E", 500);
  ASSERT_TRUE(client->WaitFor([&] { return Truth("MOUNT_X") > 1; }, 3000));
  EXPECT_NEAR(Truth("MOUNT_X"), 3.0, 0.45);
  client.reset();  // before the servers it talks to
}

}  // namespace
}  // namespace corvex::testing
