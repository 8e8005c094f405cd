// One updater per program folder. Two updaters of one folder would delete and
// rewrite each other's staged files and share "Version.tmp", and Finish in one
// could install the other's partial file; so whichever starts second ends at
// once.
//
// The lock is a named mutex in the global namespace (one program folder may be
// shared by the sessions of several users), named after a hash of the folder's
// identity: its full path with links and short names resolved, in upper case,
// since two spellings of one folder must meet at the same lock.
#pragma once

#include "framework/Handles.h"

#include <string>

// The mutex name for `folder` (a path in the ANSI code page); empty when the
// name cannot be made.
std::string FolderLockName(const char* folder);

class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock() { Release(); }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Takes the lock of `folder` for as long as this object lives (or until
    // Release). False when another updater holds it (after waiting up to
    // `waitMs` for it to let go), or when it cannot be made: an updater that
    // cannot be sure to be the only one does nothing.
    bool Acquire(const char* folder, DWORD waitMs = 0);
    void Release();

private:
    UniqueHandle mutex;
    bool owned = false;
};
