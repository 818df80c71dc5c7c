// What the terminal shows of texts that come from files, devices and the telescope.
#include "platform/terminal_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace corvex {
namespace {

TEST(TerminalText, ControlCharactersAreShownEscaped) {
  EXPECT_EQ(TerminalText("M42 Orion"), "M42 Orion");
  // A title change and a cursor move, as a FITS OBJECT card could carry them.
  EXPECT_EQ(TerminalText("\x1b]0;owned\x07M42\x1b[2J"), "\\x1B]0;owned\\x07M42\\x1B[2J");
  EXPECT_EQ(TerminalText("a\rb\tc\x7f"), "a\\x0Db\\x09c\\x7F");
  EXPECT_EQ(TerminalText(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(TerminalText("line\nnext"), "line\\x0Anext");
  EXPECT_EQ(TerminalText("line\nnext", true), "line\nnext");
}

TEST(TerminalText, WellFormedUtf8StaysButC1ControlsAndBrokenBytesDoNot) {
  EXPECT_EQ(TerminalText("M\xc3\xbcller \xe2\x80\x93 \xf0\x9f\x94\xad"),
            "M\xc3\xbcller \xe2\x80\x93 \xf0\x9f\x94\xad");
  EXPECT_EQ(TerminalText("\xc2\x9b"
                         "2J"),
            "\\xC2\\x9B2J");  // U+009B, the 8-bit CSI
  EXPECT_EQ(TerminalText("\x9b"), "\\x9B");
  EXPECT_EQ(TerminalText("\xc0\xaf"), "\\xC0\\xAF");           // overlong '/'
  EXPECT_EQ(TerminalText("\xed\xa0\x80"), "\\xED\\xA0\\x80");  // a surrogate
  EXPECT_EQ(TerminalText("\xe2\x80"), "\\xE2\\x80");           // cut short
}

// The host's own output: message texts keep their line breaks, the rest is escaped.
TEST(TerminalHost, MessagesAndNoticesAreEscaped) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  ASSERT_NE(out, nullptr);
  {
    TerminalHost terminal(out);
    Host& host = terminal;
    host.ShowMessageBox("Warning!\nbad \x1b[31mreply", "Corvex\x07");
    host.ShowNotice("Saving Image", "c:\\AUTOSAVE\x1b[1A");
    host.OpenProgress("READ\x1b[H");
    host.CloseProgress();
  }
  std::fclose(out);
  const std::string shown(buffer, size);
  std::free(buffer);
  EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x07'), std::string::npos) << shown;
  EXPECT_NE(shown.find("Corvex\\x07: Warning!\nbad \\x1B[31mreply\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Saving Image: c:\\AUTOSAVE\\x1B[1A\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("READ\\x1B[H..."), std::string::npos) << shown;
}

}  // namespace
}  // namespace corvex
