#include "LibrarySearch.h"

#include <string>

namespace {

// Windows 7 has SetDefaultDllDirectories only with its update KB2533623, and
// without it takes no LOAD_LIBRARY_SEARCH_* flag.
BOOL WINAPI NarrowWithoutDefaultDirectories(DWORD) {
    // The next best: the current folder leaves the search.
    SetDllDirectoryA("");
    return FALSE;
}

HMODULE WINAPI LoadByFullPath(LPCSTR name, HANDLE, DWORD) {
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryExA((std::string(folder) + "\\" + name).c_str(), nullptr, 0);
}

} // namespace

const LibraryCalls& SystemLibraryCalls() {
    static const LibraryCalls calls = [] {
        using SetDirectories = BOOL(WINAPI*)(DWORD);
        auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
        return set ? LibraryCalls{set, &::LoadLibraryExA}
                   : LibraryCalls{&NarrowWithoutDefaultDirectories, &LoadByFullPath};
    }();
    return calls;
}

bool RestrictLibrarySearch(const LibraryCalls& calls) {
    return calls.setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

HMODULE LoadSystemLibrary(const char* name, const LibraryCalls& calls) {
    return calls.loadLibraryEx(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
