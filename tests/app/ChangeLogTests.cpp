// The change log fetched at start-up, against the run's local test server.
#include "app/ChangeLog.h"
#include "app/ProgramDir.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/download/TestServerClient.h"

#include <gtest/gtest.h>

namespace {

class FetchedChangeLog : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Connect(&why)) << why;
        programDir = FreshOutputFolder();
        localFile = programDir + "UpdateContent.dat";
    }
    // Serves `text` as this test's change log and fetches it.
    CString Fetch(const std::string& text) {
        std::string name = CurrentTestName() + "-UpdateContent.dll";
        EXPECT_TRUE(server.PutFile(name, text));
        return FetchChangeLog(server.Url("/" + name).c_str());
    }
    TestServerClient server;
    std::string localFile;
};

TEST_F(FetchedChangeLog, EveryLineEndsInCrLfWhateverTheFileUsed) {
    EXPECT_EQ("a\r\nb\r\nc\r\n", Fetch("a\nb\nc\n"));
    EXPECT_EQ("a\r\nb\r\nc\r\n", Fetch("a\r\nb\r\nc"));
    EXPECT_EQ("\r\nx\r\n", Fetch("\nx"));
    EXPECT_FALSE(FileExists(localFile));
}

TEST_F(FetchedChangeLog, EmptyFileGivesEmptyTextAndIsDeleted) {
    EXPECT_EQ("", Fetch(""));
    EXPECT_FALSE(FileExists(localFile));
}

TEST_F(FetchedChangeLog, BytesAreKeptAsTheyAre) {
    // GBK text, a NUL, a Ctrl-Z and bytes that are no valid GBK.
    std::string text("\xC9\xFD\xBC\xB6\n\x00z\x1Aq\n\xFF\x80", 12);
    EXPECT_EQ(std::string("\xC9\xFD\xBC\xB6\r\n\x00z\x1Aq\r\n\xFF\x80\r\n", 16), Fetch(text));
}

TEST_F(FetchedChangeLog, FailedDownloadGivesNothingAndLeavesTheLocalFile) {
    std::string name = CurrentTestName() + "-UpdateContent.dll";
    ASSERT_TRUE(server.SetRules("{\"/" + name + "\": {\"status\": 404}}"));
    ASSERT_TRUE(WriteBytes(localFile, "left from before"));
    EXPECT_EQ("", FetchChangeLog(server.Url("/" + name).c_str()));
    std::string bytes;
    ASSERT_TRUE(ReadBytes(localFile, &bytes));
    EXPECT_EQ("left from before", bytes);
}

} // namespace
