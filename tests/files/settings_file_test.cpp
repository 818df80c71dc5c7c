// The settings file: its offsets, every encoding, the read checks and what they rewrite.
#include "files/settings_file.h"

#include <gtest/gtest.h>

#include "corvex.h"
#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

int U16At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8);
}
std::string TextAt(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t n) {
  return std::string(bytes.begin() + offset, bytes.begin() + offset + n);
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(path.parent_path()); }
  void TearDown() override { SetFileWriteFaultForTesting(std::nullopt); }

  // A defaults file with `bytes` placed at `offset`.
  void WriteDefaultsWith(std::size_t offset, std::vector<std::uint8_t> bytes) {
    auto file = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
    std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
    testing::WriteBytes(path, file);
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramSettings& settings = corvex.state.settings;
  fs::path path = corvex.paths.SettingsFile();
};

TEST_F(SettingsFileTest, DefaultsMake1302BytesThatReadBackUnchanged) {
  EXPECT_EQ(path, rig.home.path() / "autosave" / "Corvex.ini");
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  const auto file = testing::FileBytes(path);
  EXPECT_EQ(file.size(), kSettingsFileBytes);
  auto before = ListSettings(settings, corvex.fits);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  // Notes come back as their four cards' pieces, spaces and all; the file stays the same.
  EXPECT_EQ(corvex.fits.historyNote, std::string(255, ' '));
  EXPECT_EQ(EncodeSettings(settings, corvex.fits), file);
  corvex.fits.historyNote.clear();
  corvex.fits.commentText.clear();
  EXPECT_EQ(ListSettings(settings, corvex.fits), before);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(SettingsFileTest, FieldsSitAtTheirOffsets) {
  settings.lastFileNumber = 0x1234;
  corvex.fits.utOffsetHours = -1;
  settings.fastParallel = true;
  settings.saturationFactor = 9;
  settings.backgroundColour = 'r';
  settings.focusOneSecondDelay = false;
  settings.userStretchValue = 36;
  settings.unsharpPower = 6;
  settings.reservedFlagA = true;
  corvex.fits.object = "M13";
  corvex.fits.origin = "Home";
  corvex.fits.historyNote = "note";
  corvex.fits.commentText = "comment";
  settings.alternativeColourCoefficients = false;
  settings.selfGuideTrainingSeconds = 8;
  settings.ignoreSmallDrift = true;
  settings.telescopeMethod = 'l';
  settings.directionTable = {'w', 'e', 's', 'n'};  // both swaps
  settings.autosaveDirectory = "/data/sky";
  settings.reservedFlagB = false;
  settings.filterCount = 5;
  settings.filterNames[7] = "Ha";
  settings.guiderDecHysteresis = 3;
  settings.defaultRaAngle = -12.9;
  settings.acceptAnyProductId = true;

  const auto b = EncodeSettings(settings, corvex.fits);
  ASSERT_EQ(b.size(), kSettingsFileBytes);
  EXPECT_EQ(U16At(b, 0), 0x1234);
  EXPECT_EQ(U16At(b, 2), 0xFFFF);
  EXPECT_EQ(TextAt(b, 4, 4), "nnyy");
  EXPECT_EQ(U16At(b, 16), 9);
  EXPECT_EQ(b[20], 'r');
  EXPECT_EQ(b[21], '0');
  EXPECT_EQ(U16At(b, 23), 36);
  EXPECT_EQ(U16At(b, 29), 6);
  EXPECT_EQ(b[33], 'y');
  EXPECT_EQ(TextAt(b, 34, 80), "OBJECT  = 'M13'" + std::string(65, ' '));
  EXPECT_EQ(TextAt(b, 194, 25), "INSTRUME= 'Quellmark CCD'");
  EXPECT_EQ(TextAt(b, 354, 16), "ORIGIN  = 'Home'");
  EXPECT_EQ(TextAt(b, 434, 80), "HISTORY = 'note" + std::string(64, ' ') + "'");
  EXPECT_EQ(TextAt(b, 754 + 240, 80), "COMMENT = '" + std::string(68, ' ') + "'");
  EXPECT_EQ(b[1074], 'n');
  EXPECT_EQ(U16At(b, 1075), 1);
  EXPECT_EQ(U16At(b, 1077), 8);
  EXPECT_EQ(b[1087], '1');
  EXPECT_EQ(b[1088], 'l');
  EXPECT_EQ(TextAt(b, 1093, 4), "snwe") << "stored as north, south, east, west";
  EXPECT_EQ(TextAt(b, 1099, 10), std::string("/data/sky\0", 10));
  EXPECT_EQ(b[1198], 0);
  EXPECT_EQ(b[1199], 'y');
  EXPECT_EQ(b[1201], '0');
  EXPECT_EQ(U16At(b, 1202), 5);
  EXPECT_EQ(TextAt(b, 1204, 10), std::string("Blank\0\0\0\0\0", 10));
  EXPECT_EQ(TextAt(b, 1274, 3), std::string("Ha\0", 3));
  EXPECT_EQ(b[1284], 'n');
  EXPECT_EQ(U16At(b, 1285), 6);
  EXPECT_EQ(U16At(b, 1295), 3);
  EXPECT_EQ(b[1297], 'y');
  EXPECT_EQ(U16At(b, 1298), 0xFFF4) << "-12.9 is written as its integer part, -12";
  EXPECT_EQ(b[1301], 'y');

  // And every one of them comes back.
  testing::WriteBytes(path, b);
  const auto written = ListSettings(settings, corvex.fits);
  settings = ProgramSettings{};
  corvex.fits = FitsHeaderFields{};
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(settings.defaultRaAngle, -12);
  settings.defaultRaAngle = -12.9;
  corvex.fits.historyNote = "note";
  corvex.fits.commentText = "comment";
  EXPECT_EQ(ListSettings(settings, corvex.fits), written);
}

TEST(SettingsBackground, LettersGiveTheWindowColours) {
  EXPECT_EQ(BackgroundColour('l').red, 192);
  EXPECT_EQ(BackgroundColour('g').green, 90);
  EXPECT_EQ(BackgroundColour('r').blue, 40);
  EXPECT_EQ(BackgroundColour('r').red, 120);
}

TEST_F(SettingsFileTest, IntegersReadSignedExceptTheFourUnsignedFields) {
  auto b = EncodeSettings(settings, corvex.fits);
  b[0] = b[1] = 0xFF;  // lastFileNumber
  b[2] = b[3] = 0xFF;  // utOffsetHours
  b[1079] = 0x9C;      // selfGuideRaRate -100
  b[1080] = 0xFF;
  testing::WriteBytes(path, b);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(settings.lastFileNumber, 65535);
  EXPECT_EQ(corvex.fits.utOffsetHours, -1);
  EXPECT_EQ(settings.selfGuideRaRate, -100);
}

TEST_F(SettingsFileTest, ComPortKeepsItsCharacter) {
  for (char port : {'1', '2'}) {
    settings.comPortChar = port;
    const auto b = EncodeSettings(settings, corvex.fits);
    EXPECT_EQ(U16At(b, 1075), port - '0');
    testing::WriteBytes(path, b);
    settings.comPortChar = '9';
    ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
    EXPECT_EQ(settings.comPortChar, port);
  }
  WriteDefaultsWith(1075, {7, 0});
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(settings.comPortChar, '5');
}

TEST_F(SettingsFileTest, GuideCameraValuesAreClampedWhenWritten) {
  settings.guiderRaRate = 60;
  settings.guiderDecRate = 50;
  settings.guiderRaBacklash = 49;
  settings.guiderDecBacklash = 60;
  settings.guiderRaHysteresis = 1000;
  settings.guiderDecHysteresis = 50;
  settings.selfGuideRaRate = 60;
  const auto b = EncodeSettings(settings, corvex.fits);
  EXPECT_EQ(U16At(b, 1285), 10);
  EXPECT_EQ(U16At(b, 1287), 10);
  EXPECT_EQ(U16At(b, 1289), 49);
  EXPECT_EQ(U16At(b, 1291), 0);
  EXPECT_EQ(U16At(b, 1293), 10);
  EXPECT_EQ(U16At(b, 1295), 10);
  EXPECT_EQ(U16At(b, 1079), 60);
}

TEST_F(SettingsFileTest, AValueFailingItsCheckRewritesTheFileFromMemory) {
  struct Case {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {20, {'x'}},
      {23, {0, 0}},
      {23, {37, 0}},
      {25, {'Y'}},
      {26, {0}},
      {27, {0, 0}},
      {27, {7, 0}},
      {29, {7, 0}},
      {31, {'1'}},
      {32, {'N'}},
      {1083, {21, 0}},
      {1083, {0xFF, 0xFF}},
      {1087, {'y'}},
      {1088, {'x'}},
      {1093, {'n', 's', 'x', 'x'}},
      {1093, {'e', 's', 'e', 'w'}},
      {1201, {'y'}},
      {1289, {31, 0}},
  };
  for (const Case& c : cases) {
    WriteDefaultsWith(c.offset, c.bytes);
    settings = ProgramSettings{};
    settings.acceptAnyProductId = true;  // the last field: the rewrite carries memory's value
    ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk) << "offset " << c.offset;
    const auto rewritten = testing::FileBytes(path);
    ASSERT_EQ(rewritten.size(), kSettingsFileBytes);
    EXPECT_EQ(rewritten[1301], 'y') << "offset " << c.offset;
    auto defaults = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
    EXPECT_TRUE(std::equal(defaults.begin() + c.offset,
                           defaults.begin() + c.offset + c.bytes.size(),
                           rewritten.begin() + c.offset))
        << "the bad value is replaced, offset " << c.offset;
  }
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(SettingsFileTest, UnsharpPowerOf7StopsReadingThere) {
  settings.filterWheelAvailable = true;  // later field: the in-memory value is what is written
  auto file = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
  file[29] = 7;
  file[27] = 5;  // unsharpDiameter, read before the bad field
  file[1088] = 'b';
  testing::WriteBytes(path, file);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(settings.unsharpDiameter, 5);
  EXPECT_EQ(settings.unsharpPower, 1);
  EXPECT_EQ(settings.telescopeMethod, 'n') << "fields after the bad one are not read";
  EXPECT_EQ(testing::FileBytes(path)[1284], 'y');
}

TEST_F(SettingsFileTest, ChecksThatLetReadingGoOn) {
  settings.fastParallel = true;
  WriteDefaultsWith(7, {'?'});
  auto file = testing::FileBytes(path);
  file[16] = 0;  // saturationFactor 0 becomes 3
  file[1093] = 's';
  file[1094] = 'n';
  file[1095] = 'w';
  file[1096] = 'e';  // both swap options: passes
  testing::WriteBytes(path, file);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_TRUE(settings.fastParallel);
  EXPECT_EQ(settings.saturationFactor, 3);
  EXPECT_EQ(settings.directionTable, (std::array<char, 4>{'w', 'e', 's', 'n'}));
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].text, "Failed to read fast_par value");
  EXPECT_EQ(rig.host.messages[0].caption, "Corvex ");
  EXPECT_EQ(testing::FileBytes(path), file) << "no rewrite";
}

TEST_F(SettingsFileTest, LenientFlagsAndTexts) {
  auto file = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
  file[6] = 'Y';   // pixelOffset: anything but 'y' is false
  file[21] = 'x';  // focusOneSecondDelay: anything but '1' is false
  std::fill(file.begin() + 1099, file.begin() + 1199, 0);  // empty autosave directory
  const std::string name = "Luminance!";                   // no terminating zero
  std::copy(name.begin(), name.end(), file.begin() + 1204);
  testing::WriteBytes(path, file);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_FALSE(settings.pixelOffset);
  EXPECT_FALSE(settings.focusOneSecondDelay);
  EXPECT_EQ(settings.autosaveDirectory, "c:\\AUTOSAVE");
  EXPECT_EQ(settings.filterNames[0], "Luminance!");

  const std::string quoted = "d:\\images'old";
  std::fill(file.begin() + 1099, file.begin() + 1199, 0);
  std::copy(quoted.begin(), quoted.end(), file.begin() + 1099);
  testing::WriteBytes(path, file);
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(settings.autosaveDirectory, "d:\\images");

  settings.autosaveDirectory = std::string(150, 'a');
  EXPECT_EQ(EncodeSettings(settings, corvex.fits).size(), kSettingsFileBytes);
}

TEST_F(SettingsFileTest, MissingOrShortFilesKeepWhatWasRead) {
  // The directory exists but the file does not: a warning, and the defaults stay.
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsUnreadable);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].text, "Warning!\nNo INI file found, please set defaults...");
  EXPECT_EQ(rig.host.messages[0].caption, "");
  EXPECT_FALSE(fs::exists(path));

  ProgramSettings changed;
  changed.lastFileNumber = 77;
  changed.filterCount = 2;
  const auto file = EncodeSettings(changed, corvex.fits);
  testing::WriteBytes(path, std::span(file).first(1203));  // ends inside filterCount
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsUnreadable);
  EXPECT_EQ(settings.lastFileNumber, 77);
  EXPECT_EQ(settings.filterCount, 7);
  EXPECT_EQ(rig.host.messages.size(), 2u);
  EXPECT_EQ(fs::file_size(path), 1203u) << "a short file is not rewritten";
}

TEST_F(SettingsFileTest, FirstRunWritesTheFileAtOnce) {
  fs::remove_all(path.parent_path());
  settings.lastFileNumber = 12;
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(fs::file_size(path), kSettingsFileBytes);
  EXPECT_EQ(U16At(testing::FileBytes(path), 0), 12);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFile) {
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  const auto before = testing::FileBytes(path);
  settings.lastFileNumber = 99;
  SetFileWriteFaultForTesting(500);
  EXPECT_EQ(WriteSettingsFile(corvex), kSettingsWriteFailed);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(testing::FileBytes(path), before);
}

}  // namespace
}  // namespace corvex
