// The numbered quick save: counter, path, the stamp of mid-exposure, and the settings write.
#include "files/quick_save.h"

#include <gtest/gtest.h>

#include "corvex.h"
#include "files/image_loader.h"
#include "files/settings_file.h"
#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

TEST(QuickSaveCounter, WrapsAfter65530) {
  EXPECT_EQ(NextFileNumber(0), 1);
  EXPECT_EQ(NextFileNumber(65529), 65530);
  EXPECT_EQ(NextFileNumber(65530), 1);
  EXPECT_EQ(NextFileNumber(65535), 1);
}

TEST(QuickSaveTexts, DatesTimesAndTheSavingBox) {
  const std::int64_t t = 1165449600 + 21 * 3600 + 4 * 60 + 5;  // 2006-12-07 21:04:05 UT
  EXPECT_EQ(FormatObservationDate(t), "7/12/06");
  EXPECT_EQ(FormatObservationTime(t), "21:04:05");
  EXPECT_EQ(FormatObservationDate(946684800), "1/1/00");  // 2000-01-01
  EXPECT_EQ(SavingImageText("c:\\AUTOSAVE", 17), "c:\\AUTOSAVE   17.IMG");
}

class QuickSaveTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFileWriteFaultForTesting(std::nullopt); }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
};

TEST_F(QuickSaveTest, SavesTheNextNumberStampedAtMidExposure) {
  corvex.state.settings.lastFileNumber = 16;
  corvex.state.exposureStartTime = 1165449600;  // 00:00:00
  corvex.state.exposureEndTime = 1165449600 + 61;
  corvex.fits.object = "M57";
  corvex.store.currentImage[10] = 1234;

  ASSERT_EQ(QuickSaveFits(corvex), 0);
  const fs::path saved = rig.home.path() / "autosave" / "IMG17.FIT";
  EXPECT_EQ(AutosaveFilePath(corvex, 17), saved);
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(fs::file_size(saved), 303040u);
  EXPECT_EQ(corvex.state.exposureStartTime, 1165449600 + 30);
  EXPECT_EQ(corvex.fits.observationTime, "00:00:30");
  EXPECT_EQ(corvex.fits.observationDate, "7/12/06");

  // The counter survives in the settings file; the image reads back with its stamp.
  corvex.state.settings.lastFileNumber = 0;
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 17);
  ASSERT_EQ(LoadImageFile(corvex, saved), 0);
  EXPECT_EQ(corvex.fits.object, "M57");
  EXPECT_EQ(corvex.fits.observationTime, "00:00:30");
  EXPECT_EQ(corvex.store.currentImage[10], 1234);

  corvex.state.colourConverted = true;
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_EQ(fs::file_size(rig.home.path() / "autosave" / "IMG18.FIT"), 748160u);
}

TEST_F(QuickSaveTest, AutosaveDirectoryMayBeAWindowsOrALocalPath) {
  corvex.state.settings.autosaveDirectory = "D:\\Astro\\Night1";
  EXPECT_EQ(AutosaveFilePath(corvex, 3), rig.home.path() / "d" / "astro" / "night1" / "IMG3.FIT");
  const fs::path local = rig.home.path() / "Local Dir";
  corvex.state.settings.autosaveDirectory = local.string();
  EXPECT_EQ(AutosaveFilePath(corvex, 3), local / "IMG3.FIT");
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_TRUE(fs::exists(local / "IMG1.FIT"));
}

TEST_F(QuickSaveTest, AFailedImageWriteLeavesTheSettingsFileAlone) {
  SetFileWriteFaultForTesting(0);
  EXPECT_EQ(QuickSaveFits(corvex), 1);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_FALSE(fs::exists(corvex.paths.SettingsFile()));

  // The image is saved but the settings file cannot be replaced.
  fs::create_directories(corvex.paths.SettingsFile());  // a directory where the file goes
  EXPECT_EQ(QuickSaveFits(corvex), 3);
  EXPECT_TRUE(fs::exists(rig.home.path() / "autosave" / "IMG2.FIT"));
}

}  // namespace
}  // namespace corvex
