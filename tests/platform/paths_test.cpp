// Drive-C paths under CORVEX_HOME, case-insensitively; the private temp directory.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
 protected:
  testing::TempDirectory home;
  Paths paths{home.path()};
};

TEST_F(PathsTest, FixedLocationsMapUnderHome) {
  EXPECT_EQ(paths.SettingsFile(), home.path() / "autosave" / "Corvex.ini");
  EXPECT_EQ(paths.AutosaveDirectory(), home.path() / "autosave");
  EXPECT_EQ(paths.DefaultDarkFile(), home.path() / "dark.def");
  EXPECT_EQ(paths.DefaultFlatFile(), home.path() / "flat.def");
  EXPECT_EQ(paths.Map("C:\\AUTOSAVE\\IMG12.FIT"), home.path() / "autosave" / "IMG12.FIT");
  EXPECT_EQ(paths.Map("c:/autosave/img12.fit"), home.path() / "autosave" / "img12.fit");
  EXPECT_EQ(paths.Map("\\dark.def"), home.path() / "dark.def");
}

TEST_F(PathsTest, ExistingEntriesAreFoundWhateverTheirCase) {
  fs::create_directories(home.path() / "Images" / "M31");
  std::ofstream(home.path() / "Images" / "M31" / "Frame1.FIT") << "x";
  EXPECT_EQ(paths.Map("c:\\IMAGES\\m31\\frame1.fit"),
            home.path() / "Images" / "M31" / "Frame1.FIT");
  // New names below an existing directory: directories in lower case, file names as given.
  EXPECT_EQ(paths.Map("c:\\images\\NEW\\Out.FIT"), home.path() / "Images" / "new" / "Out.FIT");
}

TEST_F(PathsTest, AnExactSpellingWinsOverOtherCasings) {
  fs::create_directories(home.path() / "autosave");
  fs::create_directories(home.path() / "AUTOSAVE");
  fs::create_directories(home.path() / "AutoSave");
  EXPECT_EQ(paths.Map("c:\\AutoSave"), home.path() / "AutoSave");
  EXPECT_EQ(paths.Map("c:\\autoSAVE"), home.path() / "AUTOSAVE");  // first in name order
}

TEST_F(PathsTest, OtherDrivesGetTheirOwnFolderAndDotsStayInside) {
  EXPECT_EQ(paths.Map("D:\\Data\\x.fit"), home.path() / "d" / "data" / "x.fit");
  EXPECT_EQ(paths.Map("c:\\..\\..\\etc\\passwd"), home.path() / "etc" / "passwd");
  EXPECT_EQ(paths.Map("c:\\a\\.\\b\\..\\c.fit"), home.path() / "a" / "c.fit");
  EXPECT_EQ(paths.Map("c:"), home.path());
}

TEST_F(PathsTest, PosixPathsAreUsedAsTheyAre) {
  EXPECT_EQ(paths.Map("/data/Images/M31.FIT"), fs::path("/data/Images/M31.FIT"));
  EXPECT_EQ(paths.Map("relative/Frame.fit"), fs::path("relative/Frame.fit"));
  EXPECT_EQ(paths.Map(""), fs::path());
  EXPECT_FALSE(Paths::IsWindowsForm("/tmp/x"));
  EXPECT_TRUE(Paths::IsWindowsForm("e:\\x"));
}

TEST_F(PathsTest, TempDirectoryIsPrivateMadeOnceAndRemovedAfterwards) {
  fs::path made;
  {
    Paths own(home.path());
    auto dir = own.TempDirectory();
    ASSERT_TRUE(dir);
    made = *dir;
    struct stat info {};
    ASSERT_EQ(stat(made.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700);
    EXPECT_EQ(own.TempDirectory(), made);
    std::ofstream(made / "corvex.bmp") << "bitmap";
  }
  EXPECT_FALSE(fs::exists(made));
}

TEST(PathsEnvironment, HomeComesFromCorvexHomeThenHome) {
  const char* saved = std::getenv("CORVEX_HOME");
  const std::string savedValue = saved ? saved : "";
  setenv("CORVEX_HOME", "/somewhere/else", 1);
  EXPECT_EQ(Paths::HomeFromEnvironment(), fs::path("/somewhere/else"));
  setenv("CORVEX_HOME", "", 1);
  if (const char* user = std::getenv("HOME"); user && *user) {
    EXPECT_EQ(Paths::HomeFromEnvironment(), fs::path(user) / "Corvex");
  }
  if (saved) {
    setenv("CORVEX_HOME", savedValue.c_str(), 1);
  } else {
    unsetenv("CORVEX_HOME");
  }
}

}  // namespace
}  // namespace corvex
