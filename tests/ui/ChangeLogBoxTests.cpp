// The change log comes from the server as it is: whatever it holds is shown
// as plain text, whole, in the dialog's rich-edit box.
#include "DialogHarness.h"
#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

// The text the box of an optional-mode dialog shows for `changeLog`.
std::string Shown(const std::string& changeLog) {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, "http://127.0.0.1:1/"), CString(changeLog));
    EXPECT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
    return RichEditText(dialog.ChangeLogBox());
}

TEST(ChangeLogBox, RichTextMarkupIsShownAsTheCharactersItIs) {
    std::string log = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\b bold}\\par}\r\n"
                      "{\\object\\objemb{\\*\\objdata 0102}}\r\n";
    EXPECT_EQ(log, Shown(log));
}

TEST(ChangeLogBox, AMegabyteOfChineseTextIsShownWhole) {
    // After a one-byte start every double-byte character lies on an odd
    // offset, so any piece of even length handed to the control would end
    // inside one.
    std::string log = "x";
    std::string line = Ansi("第一行：修复了下载中断后无法继续的问题。\r\n");
    while (log.size() < (1u << 20))
        log += line;
    std::string shown = Shown(log);
    EXPECT_EQ(log.size(), shown.size());
    EXPECT_TRUE(log == shown)
        << "first difference at byte "
        << std::mismatch(log.begin(), log.end(), shown.begin(), shown.end()).first - log.begin();
}

// A NUL does not end the text: what follows it is shown too, the NUL staying
// in the text as a character of its own.
TEST(ChangeLogBox, AnEmbeddedNulKeepsTheTextAfterIt) {
    std::string log("before\0after\r\n", 14);
    EXPECT_EQ(log, Shown(log));
    std::string lead("\0starts with NUL\r\n", 18);
    EXPECT_EQ(lead, Shown(lead));
}

TEST(ChangeLogBox, BytesThatAreNoTextDoNotStopWhatFollows) {
    // A lone lead byte before a line end, bytes that are no GBK, and a lead
    // byte as the very last byte.
    std::string log = "a\xC9\r\nb\xFF\x80 c\r\n\xC9";
    std::string shown = Shown(log);
    EXPECT_NE(std::string::npos, shown.find("a"));
    EXPECT_NE(std::string::npos, shown.find(" c"));
}

TEST(ChangeLogBox, EmptyLogLeavesTheBoxEmpty) {
    EXPECT_EQ("", Shown(""));
}

// ---- how the text is handed to the control in pieces

TEST(WholeCharacterPrefix, PiecesEndOnCharacterBoundaries) {
    std::string text = "a" + Ansi("升级") + "b"; // a, two double-byte characters, b
    EXPECT_EQ(1u, WholeCharacterPrefix(text, 1));
    EXPECT_EQ(1u, WholeCharacterPrefix(text, 2));
    EXPECT_EQ(3u, WholeCharacterPrefix(text, 3));
    EXPECT_EQ(3u, WholeCharacterPrefix(text, 4));
    EXPECT_EQ(5u, WholeCharacterPrefix(text, 5));
    EXPECT_EQ(6u, WholeCharacterPrefix(text, 6));
    EXPECT_EQ(6u, WholeCharacterPrefix(text, 100));
}

TEST(WholeCharacterPrefix, EdgesOfTheText) {
    EXPECT_EQ(0u, WholeCharacterPrefix("", 10));
    EXPECT_EQ(0u, WholeCharacterPrefix("abc", 0));
    // A piece too small for the first character still moves on.
    EXPECT_EQ(1u, WholeCharacterPrefix(Ansi("升"), 1));
    // A lead byte that ends the text stands alone.
    EXPECT_EQ(2u, WholeCharacterPrefix(std::string("a\xC9"), 2));
    EXPECT_EQ(2u, WholeCharacterPrefix(std::string("a\xC9"), 5));
    // NUL and line ends are single bytes.
    EXPECT_EQ(3u, WholeCharacterPrefix(std::string("\0\r\n", 3), 3));
}

} // namespace
