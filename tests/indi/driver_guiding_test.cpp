// The driver's guide head, ST4 port and filter wheel as INDI clients use them, on the
// simulated observatory whose truth (the mount's guided offset, the wheel's slot) the driver
// shows; and the program's settings file, which sets directions and filter names and is
// never written.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "driver_fixture.h"
#include "files/settings_file.h"
#include "files/standard_fits.h"
#include "sim/sensor_render.h"
#include "sim/sim_config.h"
#include "sim/sky.h"
#include "state/image_store.h"
#include "state/program_settings.h"

namespace corvex::testing {
namespace {

// The simulator's guide rate: main camera pixels per second of a pulse.
constexpr double kGuideRatePxPerSec = 6;
// A pulse is timed on the real clock of a busy machine; 75 ms either way is still far from
// a pulse of the wrong length.
constexpr double kPulseTolerancePx = kGuideRatePxPerSec * 0.075;

std::vector<std::uint16_t> Decoded(const ReceivedBlob& blob) {
  StandardFitsContents contents;
  std::string problem;
  EXPECT_EQ(DecodeStandardFits(blob.bytes, 2, contents, problem), kStandardFitsOk) << problem;
  return contents.image;
}

TEST_F(DriverTest, GuideFramesAndPulsesGoOutWhileTheMainCameraExposes) {
  StartDriver();
  client->ClearReceived();
  client->SetNumber("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 4);
  ASSERT_TRUE(client->WaitForState("CCD_EXPOSURE", "Busy", 2000));

  // A guide frame, whole, with the guider's brightest star where the simulator puts it.
  client->SetNumber("GUIDER_EXPOSURE", "GUIDER_EXPOSURE_VALUE", 0.5);
  ASSERT_TRUE(client->WaitFor([&] { return !client->Blobs().empty(); }, 3000)) << server->Log();
  EXPECT_EQ(client->State("CCD_EXPOSURE"), "Busy");
  const ReceivedBlob guide = client->Blobs().at(0);
  EXPECT_EQ(guide.property, "CCD2");
  const std::vector<std::uint16_t> frame = Decoded(guide);
  ASSERT_EQ(frame.size(), static_cast<std::size_t>(kImageValues));
  sim::SimConfig config;
  ASSERT_FALSE(sim::ApplySimSettings(kStillSky, config));
  const sim::SensorPoint star =
      sim::StarOnSensor(sim::MakeSky(config.seed).guiderStars.at(0), {0, 0}, true, config);
  const int column = static_cast<int>(std::lround(star.x)) + kReadoutLeftPad;
  const int row = static_cast<int>(std::lround(star.y));
  EXPECT_GT(PeakNear(frame, column, row, 2), Median(frame) + 2000)
      << "star at column " << column << ", row " << row;

  // A pulse north of 500 ms moves the mount by the guide rate for half a second, northwards
  // (+y), and is over long before the main exposure.
  const auto sent = std::chrono::steady_clock::now();
  client->SetNumber("TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_N", 500);
  ASSERT_TRUE(client->WaitForState("TELESCOPE_TIMED_GUIDE_NS", "Busy", 1000));
  // A pulse that is over leaves the property Idle, as INDI's guider interface does.
  ASSERT_TRUE(client->WaitForState("TELESCOPE_TIMED_GUIDE_NS", "Idle", 2500))
      << client->State("TELESCOPE_TIMED_GUIDE_NS") << "\n"
      << server->Log();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(1500));
  EXPECT_EQ(client->State("CCD_EXPOSURE"), "Busy");
  client->WaitFor([&] { return Truth("MOUNT_Y") > 1; }, 1000);
  EXPECT_NEAR(Truth("MOUNT_Y"), kGuideRatePxPerSec * 0.5, kPulseTolerancePx);
  EXPECT_NEAR(Truth("MOUNT_X"), 0, 1e-9);

  // West moves the stars towards -x.
  client->SetNumber("TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_W", 250);
  ASSERT_TRUE(client->WaitFor([&] { return Truth("MOUNT_X") < -1; }, 2500));
  EXPECT_NEAR(Truth("MOUNT_X"), -kGuideRatePxPerSec * 0.25, kPulseTolerancePx);

  // The main frame still arrives whole.
  ASSERT_TRUE(client->WaitFor(
      [&] {
        for (const ReceivedBlob& blob : client->Blobs()) {
          if (blob.property == "CCD1") return true;
        }
        return false;
      },
      8000))
      << server->Log();
  EXPECT_TRUE(client->WaitForState("CCD_EXPOSURE", "Ok", 2000));
}

TEST_F(DriverTest, AGuiderDarkTakenAsADarkFrameIsSubtractedWhenSwitchedOn) {
  StartDriver();
  sim::SimConfig config;
  ASSERT_FALSE(sim::ApplySimSettings(kStillSky, config));
  const sim::SensorPoint star =
      sim::StarOnSensor(sim::MakeSky(config.seed).guiderStars.at(0), {0, 0}, true, config);
  const int column = static_cast<int>(std::lround(star.x)) + kReadoutLeftPad;
  const int row = static_cast<int>(std::lround(star.y));

  // Asked for before there is a dark: refused with an alert, frames go out uncleaned.
  client->SetSwitch("CORVEX_GUIDER_CLEANUP", "DARK");
  EXPECT_TRUE(client->WaitForState("CORVEX_GUIDER_CLEANUP", "Alert", 2000));

  // The simulated guider has no shutter, so its "dark" holds the same still sky: subtracted,
  // it takes the star away with the rest.
  client->SetSwitch("GUIDER_FRAME_TYPE", "FRAME_DARK");
  ASSERT_TRUE(
      client->WaitFor([&] { return client->SwitchOn("GUIDER_FRAME_TYPE", "FRAME_DARK"); }, 2000));
  std::vector<ReceivedBlob> blobs = ExposeGuider(0.5);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  EXPECT_TRUE(SomeMessageHas("Guider dark of 0.50 s kept"));
  const std::vector<std::uint16_t> dark = Decoded(blobs[0]);
  EXPECT_GT(PeakNear(dark, column, row, 2), Median(dark) + 2000);

  client->SetSwitch("GUIDER_FRAME_TYPE", "FRAME_LIGHT");
  ASSERT_TRUE(
      client->WaitFor([&] { return client->SwitchOn("GUIDER_FRAME_TYPE", "FRAME_LIGHT"); }, 2000));
  ASSERT_TRUE(client->SwitchOn("CORVEX_GUIDER_CLEANUP", "DARK"));
  blobs = ExposeGuider(0.5);
  ASSERT_EQ(blobs.size(), 1u) << server->Log();
  const std::vector<std::uint16_t> cleaned = Decoded(blobs[0]);
  EXPECT_LT(PeakNear(cleaned, column, row, 2), PeakNear(dark, column, row, 2) / 4);
}

TEST_F(DriverTest, TheProgramsSettingsSwapDirectionsAndNameFiltersAndAreNeverWritten) {
  ProgramSettings settings;
  settings.directionTable = {'e', 'w', 's', 'n'};  // north and south swapped
  settings.filterNames[2] = "H-alpha";
  const std::vector<std::uint8_t> bytes = EncodeSettings(settings, FitsHeaderFields{});
  std::filesystem::path settingsFile;
  std::filesystem::file_time_type written;
  StartDriver(kStillSky, [&](const std::filesystem::path& home) {
    settingsFile = home / "Corvex" / "autosave" / "Corvex.ini";
    std::filesystem::create_directories(settingsFile.parent_path());
    std::ofstream(settingsFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    // Well in the past, so that any rewrite shows.
    written = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(settingsFile, written);
  });

  EXPECT_EQ(client->Text("FILTER_NAME", "FILTER_SLOT_NAME_3"), "H-alpha");
  EXPECT_EQ(client->Text("FILTER_NAME", "FILTER_SLOT_NAME_1"), "Blank");

  // North through the swapped table closes the south relay.
  client->SetNumber("TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_N", 500);
  ASSERT_TRUE(client->WaitFor([&] { return Truth("MOUNT_Y") < -1; }, 2500)) << server->Log();
  EXPECT_NEAR(Truth("MOUNT_Y"), -kGuideRatePxPerSec * 0.5, kPulseTolerancePx);

  // Slot 3 reaches the wheel; slot 8 is refused and the wheel stays.
  client->SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 3);
  ASSERT_TRUE(client->WaitFor([&] { return Truth("FILTER") == 3; }, 2000)) << server->Log();
  EXPECT_TRUE(client->WaitForState("FILTER_SLOT", "Ok", 2000));
  client->SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 8);
  EXPECT_TRUE(client->WaitForState("FILTER_SLOT", "Alert", 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Truth("FILTER"), 3);

  // The driver's own choices go to INDI's configuration file.
  client->SetSwitch("CORVEX_GUIDER_CLEANUP", "DARK");
  client->WaitForState("CORVEX_GUIDER_CLEANUP", "Alert", 2000);
  std::string saved;
  client->WaitFor(
      [&] {
        std::ifstream config(server->home() / ".indi" / "Corvex CCD_config.xml");
        saved.assign(std::istreambuf_iterator<char>(config), std::istreambuf_iterator<char>());
        return saved.find("CORVEX_GUIDER_CLEANUP") != std::string::npos;
      },
      2000);
  EXPECT_NE(saved.find("CORVEX_GUIDER_CLEANUP"), std::string::npos) << saved;

  ASSERT_TRUE(client->DisconnectDevice());
  client.reset();
  server->Stop();  // the session is over; its HOME stays until the test ends
  std::ifstream in(settingsFile, std::ios::binary);
  const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  EXPECT_EQ(after, bytes);
  EXPECT_EQ(std::filesystem::last_write_time(settingsFile), written);
}

}  // namespace
}  // namespace corvex::testing
