// The host kit's functions on real folders: the launch block it writes, the
// marker it reads, the silent stage it applies (or refuses) and the
// interrupted install it settles.
#include "hostkit.h"

#include "engine/Sha256.h"
#include "engine/FolderLock.h"
#include "engine/InstallJournal.h"
#include "engine/LaunchBlock.h"
#include "engine/SilentMarker.h"
#include "tests/engine/TempFolder.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(LaunchBlockWriting, AUrlThatFitsIsWrittenWholeAndOneThatDoesNotIsRefused) {
    std::string url(259, 'u'), block = "untouched";
    ASSERT_TRUE(FormatLaunchBlock(3, 0x80001234u, url.c_str(), &block));
    LaunchBlockFields fields;
    ASSERT_TRUE(ParseLaunchBlock(block.data(), block.size(), &fields));
    EXPECT_EQ(3, fields.mode);
    EXPECT_EQ(reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(0x80001234u))),
              fields.hostWindow);
    EXPECT_EQ(url, fields.baseUrl);

    std::string longer(260, 'u');
    block = "untouched";
    EXPECT_FALSE(FormatLaunchBlock(1, 0, longer.c_str(), &block));
    EXPECT_EQ("untouched", block);

    hostkit_session* kit = nullptr;
    ASSERT_EQ(HOSTKIT_OK, hostkit_open(&kit));
    hostkit_launch launch{sizeof launch, 1, 0, longer.c_str(), 0, 0, "Z:\\no\\such.exe"};
    EXPECT_EQ(HOSTKIT_URL_TOO_LONG, hostkit_start(kit, &launch));
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, kLaunchMappingName));
    launch.base_url = "http://x/";
    launch.mode = 0;
    EXPECT_EQ(HOSTKIT_BAD_ARGUMENT, hostkit_start(kit, &launch));
    launch.mode = 1;
    EXPECT_EQ(HOSTKIT_NO_UPDATER, hostkit_start(kit, &launch));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError()); // the reason is kept
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, kLaunchMappingName));
    EXPECT_EQ(HOSTKIT_NOT_RUNNING, hostkit_close_updater(kit, 0));
    hostkit_release(kit);
}

const std::string kHashA(64, 'a');

TEST(SilentMarkerReading, OldAndNewMarkersAreReadAndUncheckableOnesAreNot) {
    SilentMarker m;
    ASSERT_TRUE(ParseSilentMarker("[SUpgrade]\r\nKey=1\r\n", &m));
    EXPECT_TRUE(m.complete);
    EXPECT_TRUE(m.digests.empty());
    EXPECT_FALSE(m.hasSerial);

    ASSERT_TRUE(ParseSilentMarker("[Other]\nx=y\n[ supgrade ]\n key = 1 \nSerial=42\n"
                                  "Quorvel.dll=" +
                                      kHashA + "\n",
                                  &m));
    EXPECT_TRUE(m.complete);
    EXPECT_TRUE(m.hasSerial);
    EXPECT_EQ(42u, m.serial);
    ASSERT_EQ(1u, m.digests.size());
    EXPECT_EQ("Quorvel.dll", m.digests[0].name);

    ASSERT_TRUE(ParseSilentMarker("[SUpgrade]\nKey=0\n", &m));
    EXPECT_FALSE(m.complete);
    for (const std::string& bad : std::vector<std::string>{
             "Quorvel.dll=" + std::string(64, 'A'), "Quorvel.dll=" + kHashA.substr(1),
             "..\\Quorvel.dll=" + kHashA, std::string("Serial=4x"),
             "Quorvel.dll=" + kHashA + "\nquorvel.DLL=" + kHashA})
        EXPECT_FALSE(ParseSilentMarker("[SUpgrade]\nKey=1\n" + bad + "\n", &m)) << bad;
}

// A program folder with installed modules ("old X") and a silent stage of
// new ones ("new X") in "UpgradeBackup\".
class Stage : public ::testing::Test {
protected:
    Stage() { CreateDirectoryA(stage, nullptr); }

    void Put(const char* name, const std::string& bytes) {
        WriteFileBytes(folder / name, std::string("old ") + name);
        WriteFileBytes(stage + name, bytes);
    }
    void Mark(const std::string& extra) {
        WriteFileBytes(stage + "qim_s.backup", "[SUpgrade]\r\nKey=1\r\n" + extra);
    }
    static std::string Line(const char* name, const std::string& bytes) {
        return std::string(name) + "=" + Sha256Hex(bytes.data(), bytes.size()) + "\r\n";
    }
    hostkit_result Apply() {
        report = {sizeof report, 0, 0, {}};
        return hostkit_apply_stage(folder.Path().c_str(), &report);
    }
    void ExpectInstalled(const char* name, const std::string& bytes) {
        EXPECT_EQ(bytes, ReadFileBytes(folder / name)) << name;
    }
    void ExpectOld(const char* name) { ExpectInstalled(name, std::string("old ") + name); }

    TempFolder folder;
    CString stage = folder / "UpgradeBackup\\";
    hostkit_stage_report report{};
};

TEST_F(Stage, AStageWithMatchingHashesIsInstalledAndRemoved) {
    Put("Quorvel.dll", "new Q");
    Put("Tevrane.exe", "new T");
    Mark("Serial=7\r\n" + Line("Quorvel.dll", "new Q") + Line("Tevrane.exe", "new T"));
    EXPECT_EQ(HOSTKIT_OK, Apply());
    ExpectInstalled("Quorvel.dll", "new Q");
    ExpectInstalled("Tevrane.exe", "new T");
    EXPECT_EQ(2, report.files);
    EXPECT_EQ(1, report.hashed);
    EXPECT_FALSE(Exists(stage));
    EXPECT_FALSE(Exists(folder / kInstallJournalName));
}

TEST_F(Stage, AMarkerWithoutHashesStillGetsItsStageInstalled) {
    Put("Zentil.dll", "new Z");
    Mark("");
    EXPECT_EQ(HOSTKIT_OK, Apply());
    ExpectInstalled("Zentil.dll", "new Z");
    EXPECT_EQ(0, report.hashed);
    EXPECT_FALSE(Exists(stage));
}

TEST_F(Stage, AStageThatDoesNotCheckOutIsRemovedAndNothingOfItInstalled) {
    struct Case {
        const char* what;
        std::string marker;
        const char* extraFile;
    } cases[] = {
        {"tampered", Line("Quorvel.dll", "new Q") + Line("Tevrane.exe", "other T"), nullptr},
        {"file not named", Line("Quorvel.dll", "new Q"), nullptr},
        {"named file missing",
         Line("Quorvel.dll", "new Q") + Line("Tevrane.exe", "new T") + Line("Zentil.dll", "z"),
         nullptr},
        {"not a module", "", "Evil.dll"},
    };
    for (const Case& c : cases) {
        CreateDirectoryA(stage, nullptr);
        Put("Quorvel.dll", "new Q");
        Put("Tevrane.exe", "new T");
        if (c.extraFile)
            WriteFileBytes(stage + c.extraFile, "x");
        Mark(c.marker);
        EXPECT_EQ(HOSTKIT_STAGE_REFUSED, Apply()) << c.what;
        EXPECT_NE('\0', report.reason[0]) << c.what;
        ExpectOld("Quorvel.dll");
        ExpectOld("Tevrane.exe");
        EXPECT_FALSE(Exists(stage)) << c.what;
        EXPECT_FALSE(Exists(folder / "Quorvel.dll.new~")) << c.what;
    }
}

TEST_F(Stage, WithoutACompleteMarkerNothingIsTouched) {
    Put("Quorvel.dll", "new Q");
    EXPECT_EQ(HOSTKIT_NOTHING, Apply());
    WriteFileBytes(stage + "qim_s.backup", "[SUpgrade]\r\nKey=0\r\n");
    EXPECT_EQ(HOSTKIT_NOTHING, Apply());
    ExpectOld("Quorvel.dll");
    EXPECT_EQ("new Q", ReadFileBytes(stage + "Quorvel.dll"));
}

TEST_F(Stage, AFileInUseKeepsTheWholeStageForTheNextStart) {
    Put("Quorvel.dll", "new Q");
    Put("Tevrane.exe", "new T");
    Mark(Line("Quorvel.dll", "new Q") + Line("Tevrane.exe", "new T"));
    {
        UniqueHandle busy(CreateFileA(folder / "Tevrane.exe", GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(busy);
        EXPECT_EQ(HOSTKIT_STAGE_KEPT, Apply());
        ExpectOld("Quorvel.dll");
        EXPECT_TRUE(Exists(stage + "qim_s.backup"));
    }
    EXPECT_EQ(HOSTKIT_OK, Apply());
    ExpectInstalled("Tevrane.exe", "new T");
}

TEST_F(Stage, AnUpdaterAtWorkInTheFolderMakesTheKitReportBusy) {
    Put("Quorvel.dll", "new Q");
    Mark("");
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread updater([&] {
        CFolderLock lock;
        if (lock.Acquire(folder.Path()))
            SetEvent(held);
        WaitForSingleObject(done, INFINITE);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 10000));
    EXPECT_EQ(HOSTKIT_BUSY, Apply());
    EXPECT_EQ(HOSTKIT_BUSY, hostkit_recover(folder.Path().c_str()));
    SetEvent(done);
    updater.join();
    ExpectOld("Quorvel.dll");
    EXPECT_EQ(HOSTKIT_OK, Apply());
    CloseHandle(held);
    CloseHandle(done);
}

// An install of Quorvel.dll and Tevrane.exe cut short in the journal's
// `state`: both companions made, and Quorvel.dll swapped in unless the cut
// came while preparing.
hostkit_result RecoverCut(TempFolder& folder, JournalState state) {
    bool swapped = state != JournalState::Preparing;
    WriteFileBytes(folder / "Quorvel.dll", swapped ? "new Q" : "old Q");
    WriteFileBytes(folder / "Quorvel.dll.old~", "old Q");
    if (!swapped)
        WriteFileBytes(folder / "Quorvel.dll.new~", "new Q");
    WriteFileBytes(folder / "Tevrane.exe", "old T");
    WriteFileBytes(folder / "Tevrane.exe.old~", "old T");
    WriteFileBytes(folder / "Tevrane.exe.new~", "new T");
    InstallJournal journal{
        state, "UpgradeBackup\\", {{"Quorvel.dll", true}, {"Tevrane.exe", true}}};
    WriteFileBytes(folder / kInstallJournalName, FormatJournal(journal));
    return hostkit_recover(folder.Path().c_str());
}

TEST(Recovery, AnInstallCutShortAtEachStepIsFinishedOrUndone) {
    {
        TempFolder folder;
        EXPECT_EQ(HOSTKIT_NOTHING, hostkit_recover(folder.Path().c_str()));
        EXPECT_EQ(HOSTKIT_OK, RecoverCut(folder, JournalState::Swapping));
        EXPECT_EQ("new Q", ReadFileBytes(folder / "Quorvel.dll"));
        EXPECT_EQ("new T", ReadFileBytes(folder / "Tevrane.exe"));
        EXPECT_FALSE(Exists(folder / "Tevrane.exe.old~"));
    }
    for (JournalState state : {JournalState::Preparing, JournalState::RollingBack}) {
        TempFolder folder;
        EXPECT_EQ(HOSTKIT_ROLLED_BACK, RecoverCut(folder, state));
        EXPECT_EQ("old Q", ReadFileBytes(folder / "Quorvel.dll"));
        EXPECT_EQ("old T", ReadFileBytes(folder / "Tevrane.exe"));
        for (const char* left : {"Quorvel.dll.new~", "Quorvel.dll.old~", "Tevrane.exe.new~",
                                 "Tevrane.exe.old~", kInstallJournalName})
            EXPECT_FALSE(Exists(folder / left)) << left;
    }
    TempFolder folder;
    WriteFileBytes(folder / kInstallJournalName, "not a journal");
    EXPECT_EQ(HOSTKIT_DISCARDED, hostkit_recover(folder.Path().c_str()));
}

} // namespace
