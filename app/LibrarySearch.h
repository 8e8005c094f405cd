// Where the updater's libraries come from. A program folder is often writable
// by the user, and a DLL dropped there must never be loaded in place of the
// system's, so the search for libraries loaded at run time is narrowed to the
// system folder before anything is loaded, and libraries we load ourselves are
// named with the same restriction. (The libraries Windows resolves before
// WinMain are known DLLs, which come from the system folder anyway; the others
// are loaded at their first call, see cmake/DelayedImports.cmake.)
#pragma once

#include <windows.h>

// The two platform calls, through a table that tests replace. Where the system
// lacks SetDefaultDllDirectories (Windows 7 without its update), the table
// holds stand-ins: the current folder leaves the search, and libraries are
// loaded by their full path in the system folder.
struct LibraryCalls {
    BOOL(WINAPI* setDefaultDllDirectories)(DWORD flags);
    HMODULE(WINAPI* loadLibraryEx)(LPCSTR name, HANDLE file, DWORD flags);
};
const LibraryCalls& SystemLibraryCalls();

// Makes the system folder the only place that later loads search by default.
// Returns whether the system accepted it.
bool RestrictLibrarySearch(const LibraryCalls& calls = SystemLibraryCalls());

// Loads `name` from the system folder only.
HMODULE LoadSystemLibrary(const char* name, const LibraryCalls& calls = SystemLibraryCalls());
