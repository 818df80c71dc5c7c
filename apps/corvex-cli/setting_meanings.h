// What each setting of the settings file means, with its unit or its letters, as
// `corvex-cli settings` shows it beside the value.
#pragma once

#include <string_view>

namespace corvex::cli {

// The meaning of the setting `name` (as the listing names it), or empty for one not known.
std::string_view SettingMeaning(std::string_view name);

}  // namespace corvex::cli
