// The JSON the command line prints: texts escaped so that any reader takes them, whatever
// bytes they hold, and numbers that read back as they were.
#include "json_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvex::cli {
namespace {

TEST(JsonOutput, TextsAreEscapedAndKeptValid) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("tab\tnl\n\x01\x7f"), "\"tab\\u0009nl\\u000a\\u0001\\u007f\"");
  // UTF-8 passes; stray bytes, overlong forms and surrogates become U+FFFD one byte each.
  EXPECT_EQ(JsonString("M31 \xc2\xb0 \xe2\x80\x9d \xf0\x9f\x94\xad"),
            "\"M31 \xc2\xb0 \xe2\x80\x9d \xf0\x9f\x94\xad\"");
  EXPECT_EQ(JsonString("\xff"), "\"\\ufffd\"");
  EXPECT_EQ(JsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("cut \xe2\x80"), "\"cut \\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString(std::string_view("nul\0x", 5)), "\"nul\\u0000x\"");
}

TEST(JsonOutput, NumbersAndObjects) {
  EXPECT_EQ(JsonNumber(1.25), "1.25");
  EXPECT_EQ(JsonNumber(0.1), "0.1");
  EXPECT_EQ(JsonNumber(-3), "-3");
  EXPECT_EQ(JsonNumber(std::nan("")), "null");
  EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
  JsonArray files;
  files.Text("IMG1.FIT").Text("IMG2.FIT");
  JsonObject object;
  object.Text("command", "capture")
      .Raw("saved", files.Json())
      .Whole("exit_code", 0)
      .Flag("ok", true);
  object.Null("output").Number("hfr_px", 1.5);
  EXPECT_EQ(object.Json(),
            "{\"command\":\"capture\",\"saved\":[\"IMG1.FIT\",\"IMG2.FIT\"],\"exit_code\":0,"
            "\"ok\":true,\"output\":null,\"hfr_px\":1.5}");
  EXPECT_EQ(JsonArray().Json(), "[]");
}

}  // namespace
}  // namespace corvex::cli
