// The udev rule shipped for real cameras opens the camera to users and nothing else: every
// rule that grants access names both the camera's vendor and the product id discovery looks
// for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>

#include "camera/camera_link.h"

namespace corvex {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

TEST(UdevRule, EveryGrantNamesTheCamerasVendorAndProduct) {
  std::ifstream rules(CORVEX_UDEV_RULE);
  ASSERT_TRUE(rules) << CORVEX_UDEV_RULE;
  const std::string vendor = "ATTR{idVendor}==\"5a51\"";
  const std::string product = "ATTR{idProduct}==\"" + Lower(kExpectedProductId) + "\"";
  int grants = 0;
  std::string line;
  while (std::getline(rules, line)) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const bool grantsAccess = line.find("MODE=") != std::string::npos ||
                              line.find("GROUP=") != std::string::npos ||
                              line.find("uaccess") != std::string::npos;
    if (!grantsAccess) continue;
    ++grants;
    EXPECT_NE(line.find(vendor), std::string::npos) << line;
    EXPECT_NE(line.find(product), std::string::npos) << line;
  }
  EXPECT_GE(grants, 1);
}

}  // namespace
}  // namespace corvex
