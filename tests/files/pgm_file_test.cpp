// 16-bit PGM: the guider frame's export and the dark frame's way back in.
#include "files/pgm_file.h"

#include <gtest/gtest.h>

#include <string>

namespace corvex {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(Pgm, RoundTripsSixteenBitSamplesMostSignificantByteFirst) {
  const std::vector<std::uint16_t> values{0, 1, 0x1234, 65535, 300, 7};
  const auto bytes = EncodePgm16(values, 3, 2);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 13), "P5\n3 2\n65535\n");
  EXPECT_EQ(bytes[13 + 4], 0x12);
  EXPECT_EQ(bytes[13 + 5], 0x34);
  const PgmImage image = DecodePgm(bytes, 3, 2);
  EXPECT_EQ(image.error, "");
  EXPECT_EQ(image.values, values);
}

TEST(Pgm, ReadsEightBitFilesAsHighBytesAndSkipsComments) {
  const PgmImage image = DecodePgm(Bytes("P5 # from another tool\n2 1\n255\n\x01\xff"), 2, 1);
  EXPECT_EQ(image.error, "");
  EXPECT_EQ(image.values, (std::vector<std::uint16_t>{0x0100, 0xFF00}));
}

TEST(Pgm, RefusesWhatIsNotTheImageAskedFor) {
  EXPECT_EQ(DecodePgm(Bytes("P2\n2 1\n255\n1 2"), 2, 1).error, "not a binary PGM file");
  EXPECT_EQ(DecodePgm(Bytes("P5\n2 1\n0\nab"), 2, 1).error, "damaged PGM header");
  EXPECT_EQ(DecodePgm(Bytes("P5\n2 1\n70000\nab"), 2, 1).error, "damaged PGM header");
  EXPECT_EQ(DecodePgm(Bytes("P5\n3 1\n255\nabc"), 2, 1).error,
            "a 2 x 1 image is needed, this one is 3 x 1");
  EXPECT_EQ(DecodePgm(Bytes("P5\n2 1\n65535\nabc"), 2, 1).error, "the PGM file is cut short");
  EXPECT_TRUE(DecodePgm(Bytes("P5\n2 1\n65535\nabc"), 2, 1).values.empty());
}

}  // namespace
}  // namespace corvex
