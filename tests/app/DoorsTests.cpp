// The updater's platform doors at start-up: where libraries come from, and the
// lock that allows one updater per program folder.
#include "engine/FolderLock.h"
#include "app/LibrarySearch.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> calls;

BOOL WINAPI RecordDefaultDirectories(DWORD flags) {
    calls.push_back("SetDefaultDllDirectories " + std::to_string(flags));
    return TRUE;
}

HMODULE WINAPI RecordLoad(LPCSTR name, HANDLE file, DWORD flags) {
    calls.push_back(std::string("LoadLibraryEx ") + name + (file ? " file " : " ") +
                    std::to_string(flags));
    return nullptr;
}

TEST(LibrarySearch, OnlyTheSystemFolderIsSearched) {
    calls.clear();
    const LibraryCalls recorder{&RecordDefaultDirectories, &RecordLoad};
    RestrictLibrarySearch(recorder);
    LoadSystemLibrary("riched32.dll", recorder);
    const std::string system32 = std::to_string(LOAD_LIBRARY_SEARCH_SYSTEM32);
    EXPECT_EQ((std::vector<std::string>{"SetDefaultDllDirectories " + system32,
                                        "LoadLibraryEx riched32.dll " + system32}),
              calls);
}

std::string TempFolder(const char* name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + name + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

TEST(FolderLock, SpellingsOfOneFolderShareTheLockAndOtherFoldersDoNot) {
    const std::string folder = TempFolder("FolderLockA");
    const std::string other = TempFolder("FolderLockB");
    std::string upper = folder;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const std::string name = FolderLockName(folder.c_str());
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(0u, name.rfind("Global\\", 0));
    EXPECT_EQ(name, FolderLockName(upper.c_str()));
    EXPECT_EQ(name, FolderLockName(folder.substr(0, folder.size() - 1).c_str()));
    EXPECT_EQ(name, FolderLockName((folder + "sub\\..\\").c_str()));
    EXPECT_NE(name, FolderLockName(other.c_str()));

    // Held by one updater (here a thread, which owns the mutex), refused to
    // the next until the first lets go.
    auto lockElsewhere = [](const std::string& path) {
        bool taken = false;
        std::thread([&] { taken = CFolderLock().Acquire(path.c_str()); }).join();
        return taken;
    };
    {
        CFolderLock first;
        ASSERT_TRUE(first.Acquire(folder.c_str()));
        EXPECT_FALSE(lockElsewhere(upper));
        EXPECT_TRUE(lockElsewhere(other));
    }
    EXPECT_TRUE(lockElsewhere(folder));
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(other.c_str());
}

} // namespace
