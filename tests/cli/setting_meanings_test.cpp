// Every setting the settings file holds is explained in the listing.
#include "setting_meanings.h"

#include <gtest/gtest.h>

#include "files/settings_file.h"

namespace corvex::cli {
namespace {

TEST(SettingMeanings, EverySettingHasOne) {
  for (const auto& [name, value] : ListSettings(ProgramSettings{}, FitsHeaderFields{})) {
    EXPECT_FALSE(SettingMeaning(name).empty()) << name;
  }
  EXPECT_TRUE(SettingMeaning("noSuchSetting").empty());
}

}  // namespace
}  // namespace corvex::cli
