// The message table: exact texts, shared texts, the free-text code and codes without text.
#include "state/messages.h"

#include <gtest/gtest.h>

#include "support/scripted_host.h"

namespace corvex {
namespace {

TEST(Messages, TableTextsAreExact) {
  EXPECT_EQ(MessageText(1),
            "Sorry, Values only available in standard Geometry. Ensure Image is not stretched to "
            "fit window or in QZ geometry.");
  EXPECT_EQ(MessageText(16), "Sorry, you didn't choose an QZ File");
  EXPECT_EQ(MessageText(31), "Sorry, you are already in Merging mode.");
  EXPECT_EQ(MessageText(52),
            "Sorry! Cannot communicate with chosen com port. Self-guiding not available");
  EXPECT_EQ(MessageText(55), "error 55");
  EXPECT_EQ(MessageText(59), "Sorry, already guiding with external camera");
}

TEST(Messages, CodesThatShareATextShowTheSameWords) {
  EXPECT_EQ(MessageText(20), "Unable to load INI file, please delete and try again");
  EXPECT_EQ(MessageText(23), MessageText(20));
  EXPECT_EQ(MessageText(27), MessageText(20));
  EXPECT_EQ(MessageText(21), "Unable to save INI file, please check disk space");
  EXPECT_EQ(MessageText(24), MessageText(21));
  EXPECT_EQ(MessageText(28), MessageText(21));
  EXPECT_EQ(MessageText(7), MessageText(25));
  EXPECT_EQ(MessageText(7), MessageText(26));
  EXPECT_EQ(MessageText(14), MessageText(15));
  EXPECT_EQ(MessageText(18), MessageText(19));
  EXPECT_EQ(MessageText(6), MessageText(29));
}

TEST(Messages, CodesWithoutTextAreEmptyAndIgnoreTheCallersText) {
  for (unsigned code : {0u, 3u, 4u, 5u, 36u, 49u, 56u, 58u, 60u, 1000u}) {
    EXPECT_EQ(MessageText(code, "ignored"), "") << code;
  }
  EXPECT_EQ(MessageText(22, "ignored"), "Already Colour Converted");
}

TEST(Messages, FreeTextIsCutTo498Characters) {
  std::string longText(600, 'x');
  longText[497] = 'L';
  longText[498] = 'Z';
  const std::string shown = MessageText(50, longText);
  EXPECT_EQ(shown.size(), 498u);
  EXPECT_EQ(shown.back(), 'L');
  EXPECT_EQ(MessageText(50, "USB KAMIO device not found"), "USB KAMIO device not found");
  EXPECT_EQ(MessageText(50), "");
}

TEST(Messages, ShowMessageUsesCaptionCorvexWithOkAndNoIcon) {
  testing::ScriptedHost host;
  ShowMessage(host, 36);
  ShowMessage(host, 33);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "");
  EXPECT_EQ(host.messages[0].caption, "Corvex");
  EXPECT_EQ(host.messages[1].text, "Sorry, probably lost star");
  EXPECT_EQ(host.messages[1].buttons, MessageButtons::kOk);
  EXPECT_EQ(host.messages[1].icon, MessageIcon::kNone);
}

}  // namespace
}  // namespace corvex
