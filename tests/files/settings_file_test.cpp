// The settings file: its offsets, every encoding, the read checks and what they rewrite.
#include "files/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "commands/colour_commands.h"
#include "commands/quick_save.h"
#include "commands/settings_commands.h"
#include "files/program_options_file.h"
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

TEST_F(SettingsFileTest, AValueFailingItsCheckCostsOnlyThatField) {
  struct Case {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
    std::string field;
  };
  const Case cases[] = {
      {20, {'x'}, "backgroundColour"},
      {23, {0, 0}, "userStretchValue"},
      {23, {37, 0}, "userStretchValue"},
      {25, {'Y'}, "highPassLowPower"},
      {26, {0}, "unsharpMask"},
      {27, {0, 0}, "unsharpDiameter"},
      {27, {7, 0}, "unsharpDiameter"},
      {29, {7, 0}, "unsharpPower"},
      {31, {'1'}, "removeBackground"},
      {32, {'N'}, "disableInterruptsDuringDownload"},
      {1083, {21, 0}, "selfGuideRaBacklash"},
      {1083, {0xFF, 0xFF}, "selfGuideRaBacklash"},
      {1087, {'y'}, "ignoreSmallDrift"},
      {1088, {'x'}, "telescopeMethod"},
      {1093, {'n', 's', 'x', 'x'}, "directionTable"},
      {1093, {'e', 's', 'e', 'w'}, "directionTable"},
      {1201, {'y'}, "reservedFlagB"},
      {1289, {31, 0}, "guiderRaBacklash"},
  };
  const fs::path damagedCopy = path.string() + ".bad";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    // Every field of the file differs from the defaults, so a field reset would show.
    ProgramSettings mine;
    mine.telescopeMethod = 'l';
    mine.filterNames[2] = "OIII";
    mine.autosaveDirectory = "/data/sky";
    mine.acceptAnyProductId = true;
    auto file = EncodeSettings(mine, FitsHeaderFields{});
    std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + c.offset);
    testing::WriteBytes(path, file);
    fs::remove(damagedCopy);
    settings = ProgramSettings{};
    rig.host.messages.clear();

    ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
    // The bad field keeps the value in memory; all the others come from the file.
    auto expected = file;
    const auto defaults = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
    std::copy_n(defaults.begin() + c.offset, c.bytes.size(), expected.begin() + c.offset);
    if (c.field != "telescopeMethod") {
      EXPECT_EQ(settings.telescopeMethod, 'l');
    }
    EXPECT_EQ(settings.filterNames[2], "OIII");
    EXPECT_EQ(settings.autosaveDirectory, "/data/sky");
    EXPECT_TRUE(settings.acceptAnyProductId);
    EXPECT_EQ(testing::FileBytes(path), expected);
    EXPECT_EQ(testing::FileBytes(damagedCopy), file) << "the damaged file is kept";
    ASSERT_EQ(rig.host.messages.size(), 1u);
    const std::string& text = rig.host.messages[0].text;
    EXPECT_NE(text.find(c.field + " (byte " + std::to_string(c.offset)), std::string::npos) << text;
    EXPECT_NE(text.find(damagedCopy.string()), std::string::npos) << text;
  }
}

TEST_F(SettingsFileTest, StartingUpAndShowingNeverRewriteADamagedFile) {
  ProgramSettings mine;
  mine.telescopeMethod = 'b';
  mine.filterNames[0] = "Lum";
  auto file = EncodeSettings(mine, FitsHeaderFields{});
  file[20] = 'x';  // backgroundColour
  testing::WriteBytes(path, file);

  EXPECT_EQ(ReadSettingsFile(corvex, SettingsRepair::kLeaveFile), kSettingsDamaged);
  EXPECT_EQ(testing::FileBytes(path), file);
  EXPECT_FALSE(fs::exists(path.string() + ".bad"));
  EXPECT_EQ(settings.telescopeMethod, 'b');
  EXPECT_EQ(settings.filterNames[0], "Lum");
  EXPECT_EQ(settings.backgroundColour, 'l');
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_NE(rig.host.messages[0].text.find("backgroundColour (byte 20, kept as l)"),
            std::string::npos);
  EXPECT_NE(rig.host.messages[0].text.find("left as it is"), std::string::npos);

  // Whatever writes the settings later keeps the damaged file first.
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(testing::FileBytes(path.string() + ".bad"), file);
  file[20] = 'l';
  EXPECT_EQ(testing::FileBytes(path), file);

  // A sound file is replaced without a copy (the old copy stays as it was).
  fs::remove(path.string() + ".bad");
  settings.lastFileNumber = 9;
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  EXPECT_FALSE(fs::exists(path.string() + ".bad"));
}

TEST_F(SettingsFileTest, EverySingleByteChangeKeepsEveryOtherField) {
  // A file in which every field differs from its default.
  ProgramSettings mine;
  FitsHeaderFields myFields;
  mine.lastFileNumber = 321;
  myFields.utOffsetHours = -2;
  mine.lightPollutionCorrection = mine.lineOffset = mine.fastParallel = true;
  mine.pixelOffset = false;
  mine.reservedChoiceA = 2;
  mine.starMaskRadius = 11;
  mine.antiAlias = false;
  mine.weakStretch = mine.strongStretch = mine.irFilterUsed = mine.userStretch = true;
  mine.saturationFactor = 7;
  mine.reservedChoiceB = 3;
  mine.backgroundColour = 'g';
  mine.focusOneSecondDelay = false;
  mine.userStretchValue = 20;
  mine.highPassLowPower = mine.unsharpMask = mine.removeBackground = true;
  mine.unsharpDiameter = 4;
  mine.unsharpPower = 5;
  mine.disableInterruptsDuringDownload = false;
  mine.reservedFlagA = true;
  myFields.object = "M51";
  myFields.telescope = "C8";
  myFields.instrument = "OSC";
  myFields.observer = "Me";
  myFields.origin = "Garden";
  myFields.historyNote = std::string(255, 'h');
  myFields.commentText = std::string(255, 'c');
  mine.alternativeColourCoefficients = false;
  mine.comPortChar = '3';
  mine.selfGuideTrainingSeconds = 4;
  mine.selfGuideRaRate = 9;
  mine.selfGuideDecRate = 8;
  mine.selfGuideRaBacklash = 12;
  mine.selfGuideDecBacklash = 13;
  mine.ignoreSmallDrift = true;
  mine.telescopeMethod = 'l';
  mine.selfGuideRaHysteresis = 3;
  mine.selfGuideDecHysteresis = 4;
  mine.directionTable = {'w', 'e', 's', 'n'};
  mine.beepWhenDone = true;
  mine.directionChangeDelay = false;
  mine.autosaveDirectory = "/data/sky/night";
  mine.portChosen = false;
  mine.verboseCameraMessages = true;
  mine.reservedFlagB = false;
  mine.filterCount = 5;
  mine.filterNames = {"L", "R", "G", "B", "Ha", "OIII", "SII", "Dark"};
  mine.filterWheelAvailable = true;
  mine.guiderRaRate = 7;
  mine.guiderDecRate = 5;
  mine.guiderRaBacklash = 20;
  mine.guiderDecBacklash = 6;
  mine.guiderRaHysteresis = 2;
  mine.guiderDecHysteresis = 1;
  mine.ignoreBacklash = mine.ignoreRaAngle = false;
  mine.defaultRaAngle = 45;
  mine.acceptAnyProductId = true;
  const auto original = EncodeSettings(mine, myFields);
  const auto originalRows = ListSettings(mine, myFields);
  const auto defaultRows = ListSettings(ProgramSettings{}, FitsHeaderFields{});
  for (std::size_t i = 0; i < originalRows.size(); ++i) {
    ASSERT_NE(originalRows[i], defaultRows[i]) << "make " << originalRows[i].first << " differ";
  }

  // Thousands of files are written: on memory, not on the disk.
  const testing::TempDirectory memory(testing::TempDirectory::Backing::kInMemory);
  const fs::path iniPath = memory.path() / "Corvex.ini";
  const fs::path damagedCopy = iniPath.string() + ".bad";
  // How many rows of the listing differ from the file's values.
  const auto changedRows = [&] {
    const auto rows = ListSettings(settings, corvex.fits);
    int changed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) changed += rows[i] != originalRows[i];
    return changed;
  };
  // Resets memory to the defaults and reads `damaged` as the program would.
  const auto readFromDefaults = [&](SettingsRepair repair) {
    settings = ProgramSettings{};
    corvex.fits = FitsHeaderFields{};
    ReadSettingsFile(corvex, iniPath, repair);
  };
  int rewrites = 0;
  for (std::size_t offset = 0; offset < kSettingsFileBytes; ++offset) {
    const std::uint8_t was = original[offset];
    auto damaged = original;
    // The reader itself: one changed byte changes at most the one field it lies in.
    for (std::uint8_t now : {std::uint8_t(was ^ 0x01), std::uint8_t(was ^ 0x80), std::uint8_t(0),
                             std::uint8_t(0xFF)}) {
      damaged[offset] = now;
      settings = ProgramSettings{};
      corvex.fits = FitsHeaderFields{};
      const SettingsDecodeResult decoded = DecodeSettings(damaged, settings, corvex.fits);
      ASSERT_TRUE(decoded.complete);
      ASSERT_LE(decoded.badFields.size(), 1u) << "offset " << offset << " byte " << int(now);
      ASSERT_LE(changedRows(), 1) << "offset " << offset << " byte " << int(now);
    }

    // On disk, with a letter that every checked field refuses.
    SCOPED_TRACE("offset " + std::to_string(offset));
    damaged[offset] = was == 'x' ? 0xFF : 'x';
    testing::WriteBytes(iniPath, damaged);
    ProgramSettings checked;
    FitsHeaderFields checkedFields;
    const bool bad = !DecodeSettings(damaged, checked, checkedFields).badFields.empty();

    // Start-up and "corvex-cli settings": the file stays as it is on disk.
    readFromDefaults(SettingsRepair::kLeaveFile);
    ASSERT_EQ(testing::FileBytes(iniPath), damaged);
    ASSERT_FALSE(fs::exists(damagedCopy));
    ASSERT_LE(changedRows(), 1);

    // A read that repairs: the other fields keep the file's values, in memory and in the
    // rewritten file, and the damaged bytes are kept beside it.
    readFromDefaults(SettingsRepair::kRewrite);
    ASSERT_LE(changedRows(), 1);
    const auto onDisk = testing::FileBytes(iniPath);
    ASSERT_EQ(onDisk != damaged, bad);
    if (bad) {
      ++rewrites;
      ASSERT_EQ(testing::FileBytes(damagedCopy), damaged);
      ASSERT_EQ(onDisk, EncodeSettings(settings, corvex.fits));
      fs::remove(damagedCopy);
    }
  }
  // Every byte of the 14 fields whose check rewrites the file refuses the letter.
  EXPECT_EQ(rewrites, 22);
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

TEST_F(SettingsFileTest, SomethingElseInThePlaceOfTheFileIsReportedNotWaitedOn) {
  // A FIFO would block a reader for ever; a directory cannot be read. Both are said as such,
  // the defaults stay, and nothing replaces them.
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  settings.lastFileNumber = 5;
  EXPECT_EQ(ReadSettingsFile(corvex), kSettingsUnreadable);
  EXPECT_EQ(settings.lastFileNumber, 5);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].text, "Unable to read the settings file " + path.string() +
                                           ": it is a FIFO, not a regular file.\nThe defaults "
                                           "are used.");
  int error = 0;
  EXPECT_EQ(WriteSettingsFile(corvex, path, &error), kSettingsWriteFailed);
  EXPECT_EQ(error, kNotRegularFile);
  EXPECT_TRUE(fs::is_fifo(path));

  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(ReadSettingsFile(corvex), kSettingsUnreadable);
  EXPECT_NE(rig.host.messages.back().text.find("it is a directory, not a regular file"),
            std::string::npos);
}

TEST_F(SettingsFileTest, ADamagedFileIsNotReplacedWhenItsCopyCannotBeKept) {
  auto file = EncodeSettings(ProgramSettings{}, FitsHeaderFields{});
  file[1088] = 'x';  // telescopeMethod
  testing::WriteBytes(path, file);
  fs::create_directory(path.string() + ".bad");  // no room for the copy
  EXPECT_EQ(ReadSettingsFile(corvex), kSettingsWriteFailed);
  EXPECT_EQ(testing::FileBytes(path), file);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_NE(rig.host.messages[0].text.find("could not be rewritten"), std::string::npos);

  // A short file is damaged too: the copy is kept when something replaces it.
  fs::remove(path.string() + ".bad");
  testing::WriteBytes(path, std::span(file).first(1000));
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(testing::FileBytes(path.string() + ".bad").size(), 1000u);
  EXPECT_EQ(fs::file_size(path), kSettingsFileBytes);
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

// The file each write left: a replace gives it a new inode, a skipped write keeps the old one.
ino_t Inode(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

TEST_F(SettingsFileTest, OnlyAChangeOfValueWritesTheFiles) {
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  const auto written = testing::FileBytes(path);
  const ino_t first = Inode(path);
  const auto modified = fs::last_write_time(path);

  // A colour synthesis that changes no setting reads the file and leaves it as it was.
  corvex.store.currentImage.Fill(5000);
  ASSERT_TRUE(SynthesizeColourImage(corvex, [](ProgramSettings&) { return true; }));
  EXPECT_EQ(Inode(path), first);
  EXPECT_EQ(fs::last_write_time(path), modified);
  EXPECT_EQ(testing::FileBytes(path), written);

  // A quick save stores the next file number: that is a change, written in full.
  ASSERT_EQ(QuickSaveFits(corvex), kQuickSaved);
  EXPECT_NE(Inode(path), first);
  EXPECT_EQ(testing::FileBytes(path), EncodeSettings(settings, corvex.fits));
  const ino_t saved = Inode(path);
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(Inode(path), saved);

  // Back to the first values: the bytes are those written for them the first time.
  --settings.lastFileNumber;
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(testing::FileBytes(path), written);
  EXPECT_TRUE(rig.host.messages.empty());

  // corvex.conf the same way: the same values leave it alone, a new one is written.
  const fs::path conf = ProgramOptionsPath(path);
  const std::string_view keys[] = {kAutosaveFormatKey};
  ASSERT_TRUE(WriteProgramOptionsFile(corvex, keys));
  const auto confText = testing::FileBytes(conf);
  const ino_t confFirst = Inode(conf);
  ASSERT_TRUE(WriteProgramOptionsFile(corvex, keys));
  EXPECT_EQ(Inode(conf), confFirst);
  ASSERT_TRUE(corvex.options.Set(kAutosaveFormatKey, "both"));
  ASSERT_TRUE(WriteProgramOptionsFile(corvex, keys));
  EXPECT_NE(Inode(conf), confFirst);
  ASSERT_TRUE(corvex.options.Set(kAutosaveFormatKey, "native"));
  ASSERT_TRUE(WriteProgramOptionsFile(corvex, keys));
  EXPECT_EQ(testing::FileBytes(conf), confText);
}

}  // namespace
}  // namespace corvex
