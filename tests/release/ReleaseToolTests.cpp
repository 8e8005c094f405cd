#include "tools/release/ChangeLogText.h"
#include "tools/release/DigestList.h"
#include "tools/release/ReleaseOptions.h"
#include "tools/release/TextEncoding.h"

#include "engine/Digest.h"
#include "tests/digest/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(const std::vector<std::string>& args, ReleaseOptions& options, std::string& error) {
    return ParseReleaseOptions(args, options, error);
}

// "升级" and "完成" in code page 936 and in UTF-8.
const std::string kUpgradeGbk = "\xC9\xFD\xBC\xB6";
const std::string kUpgradeUtf8 = "\xE5\x8D\x87\xE7\xBA\xA7";
const std::string kFinishGbk = "\xCD\xEA\xB3\xC9";
const std::string kFinishUtf8 = "\xE5\xAE\x8C\xE6\x88\x90";

} // namespace

TEST(ReleaseOptions, FolderAndDefaults) {
    ReleaseOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"out/release"}, options, error)) << error;
    EXPECT_EQ(options.releaseDir, "out/release");
    EXPECT_EQ(options.outputDir, "out/release");
    EXPECT_FALSE(options.allowMissing);
    EXPECT_TRUE(options.onlyModules.empty());
    EXPECT_TRUE(options.changeLogFile.empty());
    EXPECT_EQ(options.changeLogEncoding, ChangeLogEncoding::Utf8);
}

TEST(ReleaseOptions, ValuesInBothFormsAndModuleNames) {
    ReleaseOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--only=Nirvek,Quorvel", "--output", "dist", "--changelog", "log.txt",
                       "--changelog-encoding=gbk", "--allow-missing", "rel"},
                      options, error))
        << error;
    EXPECT_EQ(options.onlyModules, (std::vector<std::string>{"Nirvek", "Quorvel"}));
    EXPECT_EQ(options.outputDir, "dist");
    EXPECT_EQ(options.changeLogFile, "log.txt");
    EXPECT_EQ(options.changeLogEncoding, ChangeLogEncoding::Gbk);
    EXPECT_TRUE(options.allowMissing);
    // The selection keeps table order whatever the order given.
    const std::vector<const ModuleRow*> selected = SelectModules(options.onlyModules);
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_STREQ(selected[0]->name, "Quorvel");
    EXPECT_STREQ(selected[1]->name, "Nirvek");
    EXPECT_EQ(SelectModules({}).size(), static_cast<std::size_t>(kModuleCount));
}

TEST(ReleaseOptions, RefusesBadCommandLines) {
    ReleaseOptions options;
    std::string error;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a", "b"},
        {"--only", "Tevrane", "rel"}, // the local name is not a module name
        {"--only", "quorvel", "rel"},
        {"--only", ",", "rel"},
        {"--only"},
        {"rel", "--output"},
        {"--changelog-encoding", "latin1", "rel"},
        {"--frobnicate", "rel"},
    };
    for (const std::vector<std::string>& args : bad) {
        error.clear();
        EXPECT_FALSE(Parse(args, options, error)) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(Parse({"--help"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(DigestList, CollectsPresentMissingAndUnreadableModules) {
    TempFolder folder;
    folder.Write("Quorvel.dll", {1, 2, 3});
    folder.Write("Nirvek.exe", {4, 5});
    folder.Write("Tevrane.exe", {6}); // the local name is not what the server serves
    CreateDirectoryA((folder.path + "Zentil.dll").c_str(), nullptr);
    const DigestCollection found = CollectDigests(folder.path, SelectModules({}));

    ASSERT_EQ(found.listed.size(), 2u);
    EXPECT_STREQ(found.listed[0].module->name, "Quorvel");
    EXPECT_EQ(found.listed[0].size, 3);
    EXPECT_EQ(found.listed[0].digest,
              ComputeFileDigest((folder.path + "Quorvel.dll").c_str(), kDigestKey));
    EXPECT_STREQ(found.listed[1].module->name, "Nirvek");
    EXPECT_EQ(found.listed[1].path, folder.path + "Nirvek.exe");
    ASSERT_EQ(found.unreadable.size(), 1u);
    EXPECT_STREQ(found.unreadable[0]->name, "Zentil");
    EXPECT_EQ(found.missing.size(), static_cast<std::size_t>(kModuleCount - 3));
    EXPECT_STREQ(found.missing[0]->name, "Tobrask");
}

TEST(DigestList, FormatIsAnIniSectionWithCrLfLines) {
    TempFolder folder;
    folder.Write("Quorvel.dll", {});
    folder.Write("Yandrel.exe", {0x41});
    const DigestCollection found = CollectDigests(folder.path, SelectModules({}));
    EXPECT_EQ(FormatDigestList(found.listed), "[ModuleVersion]\r\n"
                                              "Quorvel=00000000000000000000000000000000\r\n"
                                              "Yandrel=" +
                                                  found.listed[1].digest + "\r\n");
    EXPECT_EQ(FormatDigestList({}), "[ModuleVersion]\r\n");
}

TEST(ChangeLog, LineEndsBecomeCrLfAndUtf8BecomesCodePage936) {
    const ChangeLogText log =
        MakeChangeLog("\xEF\xBB\xBF" + kUpgradeUtf8 + " 1\n" + kFinishUtf8 + "\r\n\nlast",
                      ChangeLogEncoding::Utf8);
    ASSERT_TRUE(log.ok) << log.error;
    EXPECT_EQ(log.text, kUpgradeGbk + " 1\r\n" + kFinishGbk + "\r\n\r\nlast\r\n");
    EXPECT_EQ(log.lines, 4);
}

TEST(ChangeLog, EmptyAndEndingInNewline) {
    EXPECT_EQ(MakeChangeLog("", ChangeLogEncoding::Utf8).text, "");
    EXPECT_TRUE(MakeChangeLog("", ChangeLogEncoding::Utf8).ok);
    EXPECT_EQ(MakeChangeLog("\xEF\xBB\xBF", ChangeLogEncoding::Utf8).lines, 0);
    EXPECT_EQ(MakeChangeLog("a\n", ChangeLogEncoding::Utf8).text, "a\r\n");
    EXPECT_EQ(MakeChangeLog("\n", ChangeLogEncoding::Utf8).text, "\r\n");
}

TEST(ChangeLog, Codepage936InputIsKeptByteForByte) {
    const ChangeLogText log =
        MakeChangeLog(kUpgradeGbk + "\n" + kFinishGbk + "\r\n", ChangeLogEncoding::Gbk);
    ASSERT_TRUE(log.ok);
    EXPECT_EQ(log.text, kUpgradeGbk + "\r\n" + kFinishGbk + "\r\n");
    EXPECT_EQ(log.lines, 2);
}

TEST(ChangeLog, RefusesInvalidUtf8AndCharactersOutsideCodePage936) {
    // Line 2: a bare continuation byte; line 3 of the second: U+1F600, not in code page 936.
    ChangeLogText log = MakeChangeLog("ok\nbad \x80 byte\n", ChangeLogEncoding::Utf8);
    EXPECT_FALSE(log.ok);
    EXPECT_NE(log.error.find("line 2"), std::string::npos) << log.error;
    EXPECT_TRUE(log.text.empty());
    log = MakeChangeLog("a\nb\nsmile \xF0\x9F\x98\x80\n", ChangeLogEncoding::Utf8);
    EXPECT_FALSE(log.ok);
    EXPECT_NE(log.error.find("line 3"), std::string::npos) << log.error;
    // A sequence cut short at the end of the text.
    EXPECT_FALSE(MakeChangeLog("cut \xE5\x8D", ChangeLogEncoding::Utf8).ok);
    // GBK bytes given as UTF-8 by mistake.
    EXPECT_FALSE(MakeChangeLog(kUpgradeGbk, ChangeLogEncoding::Utf8).ok);
}

TEST(ChangeLog, ConversionCoversTheEuroSignAndFullWidthPunctuation) {
    std::string out;
    ASSERT_TRUE(Utf8ToCodePage936("\xE2\x82\xAC\xEF\xBC\x81", out)); // "€！"
    EXPECT_EQ(out, "\x80\xA3\xA1");
}
