#include "TempFolder.h"
#include "engine/Install.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The host stand-in built beside the tests (started without arguments it
// records "restarted" in host.log beside itself).
CString HostStandIn() {
    const char* build = std::getenv("TEST_BINARY_DIR");
    CString path = CString("Z:") + (build ? build : "") + "/tools/host/HostStandIn.exe";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

TEST(ReplaceFile, NewBytesReplaceTheOldAndNoTemporaryIsLeft) {
    TempFolder folder;
    WriteFileBytes(folder / "staged", std::string(100000, 'n'));
    WriteFileBytes(folder / "Zentil.dll", "old");
    EXPECT_TRUE(ReplaceFileAtomically(folder / "staged", folder / "Zentil.dll"));
    EXPECT_EQ(std::string(100000, 'n'), ReadFileBytes(folder / "Zentil.dll"));
    EXPECT_FALSE(Exists(folder / "Zentil.dll.new~"));
    EXPECT_TRUE(Exists(folder / "staged"));
}

TEST(ReplaceFile, TargetHeldOpenKeepsItsOldBytes) {
    TempFolder folder;
    WriteFileBytes(folder / "staged", "new bytes");
    WriteFileBytes(folder / "Corvane.dll", "old bytes");
    HANDLE held =
        CreateFileA(folder / "Corvane.dll", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DWORD start = GetTickCount();
    EXPECT_FALSE(ReplaceFileAtomically(folder / "staged", folder / "Corvane.dll"));
    DWORD waited = GetTickCount() - start;
    CloseHandle(held);
    EXPECT_GE(waited, 1000u) << "gave up without retrying";
    EXPECT_EQ("old bytes", ReadFileBytes(folder / "Corvane.dll"));
    EXPECT_FALSE(Exists(folder / "Corvane.dll.new~"));
}

TEST(ReplaceFile, MissingStagedFileChangesNothing) {
    TempFolder folder;
    WriteFileBytes(folder / "Amblor.dll", "old");
    EXPECT_FALSE(ReplaceFileAtomically(folder / "absent", folder / "Amblor.dll"));
    EXPECT_EQ("old", ReadFileBytes(folder / "Amblor.dll"));
}

TEST(InstallModules, InstallsTheListAndRemovesTheStagingFolder) {
    TempFolder folder;
    CString staging = folder / "UpgradeBackup_P\\";
    CreateDirectoryA(staging, nullptr);
    WriteFileBytes(staging + "Tevrane.exe.tmp", "new host");
    WriteFileBytes(staging + "Quorvel.dll.tmp", "new quorvel");
    WriteFileBytes(staging + "Stray.dll.tmp", "left by an earlier attempt");
    WriteFileBytes(folder / "Tevrane.exe", "old host");
    WriteFileBytes(folder / "Quorvel.dll", "old quorvel");
    WriteFileBytes(folder / "Stray.dll", "installed stray");
    InstallModules(folder.Path(),
                   {{0x471, "Tevrane.exe", "u1", ""}, {0x468, "Quorvel.dll", "u2", ""}});
    EXPECT_EQ("new host", ReadFileBytes(folder / "Tevrane.exe"));
    EXPECT_EQ("new quorvel", ReadFileBytes(folder / "Quorvel.dll"));
    EXPECT_EQ("installed stray", ReadFileBytes(folder / "Stray.dll"));
    EXPECT_FALSE(Exists(staging));
}

TEST(InstallModules, LockedTargetStaysWholeAndTheOthersAreInstalled) {
    TempFolder folder;
    CString staging = folder / "UpgradeBackup_P\\";
    CreateDirectoryA(staging, nullptr);
    WriteFileBytes(staging + "Kavrel.dll.tmp", "new kavrel");
    WriteFileBytes(staging + "Ibrosk.dll.tmp", "new ibrosk");
    WriteFileBytes(folder / "Kavrel.dll", "old kavrel");
    WriteFileBytes(folder / "Ibrosk.dll", "old ibrosk");
    HANDLE held =
        CreateFileA(folder / "Kavrel.dll", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    InstallModules(folder.Path(), {{0x473, "Kavrel.dll", "u", ""}, {0x474, "Ibrosk.dll", "u", ""}});
    CloseHandle(held);
    EXPECT_EQ("old kavrel", ReadFileBytes(folder / "Kavrel.dll"));
    EXPECT_EQ("new ibrosk", ReadFileBytes(folder / "Ibrosk.dll"));
    EXPECT_FALSE(Exists(staging));
}

TEST(DeleteFolder, RemovesNestedContent) {
    TempFolder folder;
    CString target = folder / "a\\";
    CreateDirectoryA(target, nullptr);
    CreateDirectoryA(target + "b", nullptr);
    WriteFileBytes(target + "b\\f", "x");
    DeleteFolder(target);
    EXPECT_FALSE(Exists(target));
}

TEST(GetFileDirectory, KeepsTheLastBackslash) {
    EXPECT_EQ("C:\\A\\B\\", GetFileDirectory("C:\\A\\B\\Updater.exe"));
    EXPECT_EQ("", GetFileDirectory("Updater.exe"));
    EXPECT_EQ("C:\\", GetFileDirectory("C:\\"));
}

TEST(SignalNamedEvent, SetsAnExistingEventOnly) {
    EXPECT_EQ(0, SignalNamedEvent("UpdaterTests.NoSuchEvent"));
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, "UpdaterTests.Event");
    EXPECT_NE(0, SignalNamedEvent("UpdaterTests.Event"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
    CloseHandle(e);
}

TEST(WaitForHostExit, ReturnsAtOnceForAWindowThatDoesNotExist) {
    DWORD start = GetTickCount();
    WaitForHostExit(reinterpret_cast<HWND>(static_cast<intptr_t>(0x7FFF1234)));
    WaitForHostExit(nullptr);
    EXPECT_LT(GetTickCount() - start, 1000u);
}

class Launch : public ::testing::Test {
protected:
    // Runs LaunchProgram on `name` (a copy of the stand-in) and returns its log.
    std::string Run(const char* name, BOOL* started) {
        CopyFileA(HostStandIn(), folder / name, FALSE);
        HANDLE process = nullptr;
        *started = LaunchProgram(folder / name, &process, "");
        if (process) {
            WaitForSingleObject(process, 20000);
            CloseHandle(process);
        }
        return ReadFileBytes(folder / "host.log");
    }
    TempFolder folder;
};

TEST_F(Launch, ExeStartsInItsOwnFolder) {
    BOOL started = FALSE;
    std::string log = Run("Tevrane.exe", &started);
    EXPECT_TRUE(started);
    CString cwd = folder.Path().substr(0, folder.Path().size() - 1);
    EXPECT_NE(std::string::npos, log.find("restarted cwd=" + cwd)) << log;
}

TEST_F(Launch, DatFileRunsAsAProgram) {
    BOOL started = FALSE;
    std::string log = Run("Tevrane.dat", &started);
    EXPECT_TRUE(started);
    EXPECT_NE(std::string::npos, log.find("restarted")) << log;
}

TEST_F(Launch, DatFileThatIsNoProgramIsCopiedToExe) {
    WriteFileBytes(folder / "notes.dat", "not a program");
    HANDLE process = nullptr;
    EXPECT_FALSE(LaunchProgram(folder / "notes.dat", &process, ""));
    EXPECT_EQ("not a program", ReadFileBytes(folder / "notes.exe"));
    if (process)
        CloseHandle(process);
}

} // namespace
