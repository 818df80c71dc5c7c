// corvex.conf: values checked one by one, what a read reports, and updates that keep the
// user's lines, comments and unknown keys.
#include "files/program_options_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_error.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& path) {
  const auto bytes = testing::FileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void Put(const fs::path& path, const std::string& text) {
  testing::WriteBytes(path,
                      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(ProgramOptionValues, EachKindTakesWhatItShouldAndNothingElse) {
  std::string why;
  const OptionDefinition flag{"a.flag", OptionKind::kFlag, "no", 0, 0, "", ""};
  EXPECT_EQ(CheckOptionValue(flag, " On ", why), "yes");
  EXPECT_EQ(CheckOptionValue(flag, "FALSE", why), "no");
  EXPECT_FALSE(CheckOptionValue(flag, "maybe", why));
  EXPECT_EQ(why, "is not yes or no");

  const OptionDefinition whole{"a.whole", OptionKind::kWhole, "3", 1, 10, "", ""};
  EXPECT_EQ(CheckOptionValue(whole, "10", why), "10");
  for (const char* bad : {"11", "0", "3.5", "3x", "", "99999999999999999999"}) {
    EXPECT_FALSE(CheckOptionValue(whole, bad, why)) << bad;
  }
  EXPECT_EQ(why, "is not a whole number from 1 to 10");

  const OptionDefinition real{"a.real", OptionKind::kReal, "0.5", 0, 2.5, "", ""};
  EXPECT_EQ(CheckOptionValue(real, "2.50", why), "2.5");
  for (const char* bad : {"nan", "inf", "-0.1", "2.6", "1e400", "1,5"}) {
    EXPECT_FALSE(CheckOptionValue(real, bad, why)) << bad;
  }

  const OptionDefinition* format = FindProgramOption("AutoSave.Format");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(CheckOptionValue(*format, "Standard", why), "standard");
  EXPECT_FALSE(CheckOptionValue(*format, "fits", why));
  EXPECT_EQ(why, "is not native, standard or both");

  const OptionDefinition text{"a.text", OptionKind::kText, "", 0, 0, "", ""};
  EXPECT_EQ(CheckOptionValue(text, "  localhost:7624 ", why), "localhost:7624");
  EXPECT_FALSE(CheckOptionValue(text, "a\x1b[2Jb", why));
}

TEST(ProgramOptionsRead, BadLinesAreNamedAndCostOnlyThemselves) {
  ProgramOptions options;
  EXPECT_EQ(options.Text(kAutosaveFormatKey), "native");
  const OptionsReadResult result = ParseProgramOptions(
      "# my settings\n"
      "\n"
      "autosave.format = both\r\n"
      "this is not a setting\n"
      "future.key = 12\n"
      "autosave.format = jpeg\n",
      options);
  EXPECT_FALSE(result.Sound());
  EXPECT_EQ(result.problems,
            (std::vector<std::string>{
                "line 4: \"this is not a setting\" is not \"key = value\" and is not used",
                "line 6: autosave.format is set again; this line counts, line 3 does not",
                "line 6: autosave.format = \"jpeg\" is not native, standard or both; native is "
                "used"}));
  EXPECT_EQ(result.unknownKeys,
            (std::vector<std::string>{"line 5: future.key is not a setting of this version; the "
                                      "line is kept"}));
  EXPECT_EQ(options.Text(kAutosaveFormatKey), "native");

  ProgramOptions good;
  EXPECT_TRUE(ParseProgramOptions("  AUTOSAVE.FORMAT=Standard  ", good).Sound());
  EXPECT_EQ(good.Text(kAutosaveFormatKey), "standard");
}

TEST(ProgramOptionsRead, TheFileIsOnlyRead) {
  testing::TempDirectory dir;
  ProgramOptions options;
  const fs::path path = dir.path() / "corvex.conf";
  EXPECT_TRUE(ReadProgramOptions(path, options).missing);
  EXPECT_FALSE(fs::exists(path));

  const std::string damaged = "autosave.format = ???\n# note\n";
  Put(path, damaged);
  chmod(path.c_str(), 0444);
  EXPECT_FALSE(ReadProgramOptions(path, options).Sound());
  EXPECT_EQ(Text(path), damaged);
  EXPECT_EQ(fs::directory_iterator(dir.path())->path(), path);  // no copy, no temporary

  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(ReadProgramOptions(path, options).error, kNotRegularFile);
}

TEST(ProgramOptionsWrite, NewFileListsEverySettingWithItsHelp) {
  testing::TempDirectory dir;
  ProgramOptions options;
  ASSERT_TRUE(options.Set(kAutosaveFormatKey, "both"));
  const fs::path path = ProgramOptionsPath(dir.path() / "autosave" / "Corvex.ini");
  EXPECT_EQ(path, dir.path() / "autosave" / "corvex.conf");
  const std::string_view keys[] = {kAutosaveFormatKey};
  ASSERT_TRUE(SaveProgramOptions(path, options, keys));
  const std::string text = Text(path);
  EXPECT_NE(text.find("\nautosave.format = both\n"), std::string::npos) << text;
  EXPECT_NE(text.find("# What the automatic save"), std::string::npos);
  for (const OptionDefinition& definition : ProgramOptionTable()) {
    EXPECT_NE(text.find(std::string(definition.key) + " = "), std::string::npos) << definition.key;
  }
  ProgramOptions back;
  EXPECT_TRUE(ReadProgramOptions(path, back).Sound());
  EXPECT_EQ(back.Text(kAutosaveFormatKey), "both");
}

TEST(ProgramOptionsWrite, AnUpdateChangesOnlyTheLinesOfItsKeys) {
  ProgramOptions options;
  ASSERT_TRUE(options.Set(kAutosaveFormatKey, "standard"));
  const std::string_view keys[] = {kAutosaveFormatKey};
  const std::string before =
      "# mine\r\n"
      "autosave.format = native\r\n"
      "future.key = 12   \r\n"
      "garbage line\r\n"
      "autosave.format = both";
  EXPECT_EQ(UpdateProgramOptionsText(before, options, keys),
            "# mine\r\n"
            "autosave.format = native\r\n"
            "future.key = 12   \r\n"
            "garbage line\r\n"
            "autosave.format = standard");
  // A key the file does not have is added with its help, after everything there.
  const std::string added = UpdateProgramOptionsText("# only a comment", options, keys);
  EXPECT_EQ(added.rfind("# only a comment\n\n# What", 0), 0u) << added;
  EXPECT_TRUE(added.ends_with("\nautosave.format = standard\n"));
  // Nothing asked, nothing changed.
  EXPECT_EQ(UpdateProgramOptionsText(before, options, {}), before);
}

TEST(ProgramOptionsWrite, AFileThatCannotBeReadIsNotReplaced) {
  testing::TempDirectory dir;
  ProgramOptions options;
  const std::string_view keys[] = {kAutosaveFormatKey};
  const fs::path folder = dir.path() / "corvex.conf";
  fs::create_directory(folder);
  int error = 0;
  EXPECT_FALSE(SaveProgramOptions(folder, options, keys, &error));
  EXPECT_EQ(error, kNotRegularFile);
  EXPECT_TRUE(fs::is_directory(folder));
}

}  // namespace
}  // namespace corvex
