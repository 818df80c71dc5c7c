// Kernel release texts to the version numbers of the camera summary.
#include "platform/os_version.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(OsVersion, ReadsMajorAndMinorFromAReleaseText) {
  EXPECT_EQ(ParseOsRelease("6.1.0-18-amd64").major, 6);
  EXPECT_EQ(ParseOsRelease("6.1.0-18-amd64").minor, 1);
  EXPECT_EQ(ParseOsRelease("5.15").minor, 15);
  EXPECT_EQ(ParseOsRelease("7-custom").minor, 0);
  EXPECT_EQ(ParseOsRelease("").major, 0);
  EXPECT_GT(CurrentOsVersion().major, 0);
}

}  // namespace
}  // namespace corvex
