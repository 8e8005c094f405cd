#include "TempFolder.h"
#include "engine/Digest.h"
#include "engine/LaunchValues.h"
#include "engine/ModuleTable.h"
#include "engine/SafeFiles.h"
#include "engine/Staging.h"
#include "engine/VersionCheck.h"

#include <gtest/gtest.h>

namespace {

class VersionCheck : public ::testing::Test {
protected:
    VersionCheck() {
        launch.mode = ModeOptional;
        launch.baseUrl = "http://server/r/";
        launch.programDir = folder.Path();
        list = folder / "Version.tmp";
    }
    // A digest list with the given lines in section ModuleVersion.
    void WriteList(const std::string& lines) {
        WriteFileBytes(list, "[ModuleVersion]\r\n" + lines);
    }
    std::string DigestOf(const char* name) { return ComputeFileDigest(folder / name, kDigestKey); }
    TempFolder folder;
    LaunchValues launch;
    CString list;
};

TEST_F(VersionCheck, OnlyDifferingModulesAreListedInTableOrder) {
    for (const ModuleRow& m : kModuleTable)
        WriteFileBytes(folder / m.localFile, std::string("old ") + m.name);
    // Zentil and Tobrask change on the server; the list names them in another order.
    std::string lines = "Zentil=00000000000000000000000000000000\r\n"
                        "Tobrask=11111111111111111111111111111111\r\n";
    for (const ModuleRow& m : kModuleTable)
        if (std::string(m.name) != "Zentil" && std::string(m.name) != "Tobrask")
            lines += std::string(m.name) + "=" + DigestOf(m.localFile) + "\r\n";
    WriteList(lines);
    PendingDownloadList pending = CheckModules(launch, list);
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ("Tobrask.dll", pending[0].localName);
    EXPECT_EQ(0x466, pending[0].messageId);
    EXPECT_EQ("http://server/r/Tobrask.dll", pending[0].url);
    EXPECT_EQ("Zentil.dll", pending[1].localName);
    EXPECT_EQ(0x469, pending[1].messageId);
}

TEST_F(VersionCheck, NirvekIsTheHostExecutableLocally) {
    WriteFileBytes(folder / "Tevrane.exe", "host");
    WriteFileBytes(folder / "Nirvek.exe", "not the installed host");
    WriteList("Nirvek=" + DigestOf("Nirvek.exe") + "\r\n");
    PendingDownloadList pending;
    CheckModule(launch, "Nirvek", list, 0x471, ".exe", &pending);
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("Tevrane.exe", pending[0].localName);
    EXPECT_EQ("http://server/r/Nirvek.exe", pending[0].url);

    pending.clear();
    WriteList("Nirvek=" + DigestOf("Tevrane.exe") + "\r\n");
    CheckModule(launch, "Nirvek", list, 0x471, ".exe", &pending);
    EXPECT_TRUE(pending.empty());
}

TEST_F(VersionCheck, MissingKeyFetchesAnExistingFileAndSkipsAMissingOne) {
    WriteList("Other=1\r\n");
    PendingDownloadList pending;
    CheckModule(launch, "Quorvel", list, 0x468, ".dll", &pending);
    EXPECT_TRUE(pending.empty());
    WriteFileBytes(folder / "Quorvel.dll", "x");
    CheckModule(launch, "Quorvel", list, 0x468, ".dll", &pending);
    EXPECT_EQ(1u, pending.size());
}

TEST_F(VersionCheck, ComparisonIsExactAndCaseSensitive) {
    WriteFileBytes(folder / "Kavrel.dll", "kavrel");
    std::string digest = DigestOf("Kavrel.dll");
    ASSERT_EQ(32u, digest.size());
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(upper, digest) << "digest has no letters";
    WriteList("Kavrel=" + upper + "\r\n");
    PendingDownloadList pending;
    CheckModule(launch, "Kavrel", list, 0x473, ".dll", &pending);
    EXPECT_EQ(1u, pending.size());
}

TEST_F(VersionCheck, MissingDigestListCountsEveryExistingModule) {
    WriteFileBytes(folder / "Amblor.dll", "a");
    WriteFileBytes(folder / "Yandrel.exe", "y");
    PendingDownloadList pending = CheckModules(launch, folder / "absent.ini");
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ("Amblor.dll", pending[0].localName);
    EXPECT_EQ("Yandrel.exe", pending[1].localName);
}

TEST_F(VersionCheck, OnlyAListWithEntriesIsADigestList) {
    WriteList("Quorvel=" + std::string(32, '0') + "\r\n");
    EXPECT_TRUE(IsDigestList(list));
    // A single entry of any kind still makes it a list (missing keys are the
    // version check's business).
    WriteList("Other=1\r\n");
    EXPECT_TRUE(IsDigestList(list));

    EXPECT_FALSE(IsDigestList(folder / "absent.ini"));
    const char binary[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR[ModuleVersion\0]\r\nQuorvel=\xff\xfe";
    for (const std::string& answer :
         {std::string(), std::string("<html><body>Not here</body></html>\r\n"),
          std::string("[ModuleVersion]\r\n"), std::string("[Other]\r\nQuorvel=1\r\n"),
          std::string(binary, sizeof binary - 1)}) {
        WriteFileBytes(list, answer);
        EXPECT_FALSE(IsDigestList(list)) << answer;
    }
}

TEST(Staging, TargetsByMode) {
    EXPECT_EQ("C:\\P\\UpgradeBackup\\Tevrane.exe",
              StagingTarget(ModeSilent, "C:\\P\\", "Tevrane.exe"));
    for (int mode : {0, 1, 2, 4, -1})
        EXPECT_EQ("C:\\P\\UpgradeBackup_P\\Tevrane.exe.tmp",
                  StagingTarget(mode, "C:\\P\\", "Tevrane.exe"));
}

TEST(Staging, SilentMarkerHasTheProfileWritersBytesAndNeedsEveryStagedFile) {
    TempFolder folder;
    CString marker = folder / "UpgradeBackup\\qim_s.backup";
    CreateDirectoryA(folder / "UpgradeBackup", nullptr);
    WriteFileBytes(folder / "UpgradeBackup\\Zentil.dll", "staged");
    PendingDownloadList list{{0, "Zentil.dll", "u", ""}};
    WritePrivateProfileStringA("SUpgrade", "Key", "1", folder / "reference.ini");
    EXPECT_TRUE(WriteSilentMarker(folder.Path(), list));
    EXPECT_EQ(ReadFileBytes(folder / "reference.ini"), ReadFileBytes(marker));
    EXPECT_FALSE(Exists(marker + ".new~"));
    DeleteFileA(marker);
    list.push_back({0, "Ibrosk.dll", "u", ""}); // listed, never staged
    EXPECT_FALSE(WriteSilentMarker(folder.Path(), list));
    EXPECT_FALSE(Exists(marker));
}

TEST(Staging, AStageWhoseMarkerCannotGoIsLeftWhole) {
    TempFolder folder;
    CString stage = folder / "UpgradeBackup\\";
    CreateDirectoryA(stage, nullptr);
    CreateDirectoryA(stage + "sub", nullptr);
    WriteFileBytes(stage + "sub\\a", "x");
    WriteFileBytes(stage + "Quorvel.dll", "staged by an earlier update");
    WriteFileBytes(stage + "qim_s.backup", "[SUpgrade]\r\nKey=1\r\n");
    HANDLE held =
        CreateFileA(stage + "qim_s.backup", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(ClearSilentStage(folder.Path()));
    EXPECT_EQ("staged by an earlier update", ReadFileBytes(stage + "Quorvel.dll"));
    CloseHandle(held);
    EXPECT_TRUE(ClearSilentStage(folder.Path()));
    EXPECT_TRUE(Exists(stage));
    EXPECT_FALSE(Exists(stage + "Quorvel.dll") || Exists(stage + "sub") ||
                 Exists(stage + "qim_s.backup"));
}

// Wine shows a linked folder as a reparse point but not a linked file, so the
// decision is checked on attributes.
TEST(Staging, WritesGoOnlyIntoARealFolderAndOverAPlainFile) {
    const DWORD none = INVALID_FILE_ATTRIBUTES, folder = FILE_ATTRIBUTE_DIRECTORY,
                link = FILE_ATTRIBUTE_REPARSE_POINT, file = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_TRUE(IsSafeWriteTarget(folder, none));
    EXPECT_TRUE(IsSafeWriteTarget(folder, file | FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(IsSafeWriteTarget(folder | link, none)); // a junction or a linked folder
    EXPECT_FALSE(IsSafeWriteTarget(folder, file | link)); // a symbolic link to a file
    EXPECT_FALSE(IsSafeWriteTarget(folder, folder));
    EXPECT_FALSE(IsSafeWriteTarget(none, none));
    EXPECT_FALSE(IsSafeWriteTarget(file, none));
}

} // namespace

namespace {

TEST(DownloadedFile, OnlyAWellFormedListedDigestIsChecked) {
    TempFolder folder;
    WriteFileBytes(folder / "m.dll", "new module");
    std::string digest = ComputeFileDigest(folder / "m.dll", kDigestKey);
    EXPECT_TRUE(IsWellFormedDigest(digest.c_str()));
    EXPECT_TRUE(StagedFileMatches(folder / "m.dll", digest));
    EXPECT_FALSE(StagedFileMatches(folder / "m.dll", std::string(32, '0')));
    EXPECT_FALSE(StagedFileMatches(folder / "absent.dll", digest));
    // Values that can never be a digest are not held against the file.
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const std::string& odd : {std::string(), upper, digest + "0", std::string("xyz")}) {
        EXPECT_FALSE(IsWellFormedDigest(odd.c_str())) << odd;
        EXPECT_TRUE(StagedFileMatches(folder / "m.dll", odd)) << odd;
    }
}

} // namespace
