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
    // A wrong wait never returns; the bound leaves room for a loaded machine.
    EXPECT_LT(GetTickCount() - start, 10000u);
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
