// Installing a set of staged modules as one transaction: afterwards every
// target holds its new file, or every target holds its old file again, also
// when the process is killed or the power fails on the way (the journal, see
// InstallJournal.h, lets the next start finish or undo what was cut short).
//
// Steps: each staged file is copied beside its target under a fresh name and
// checked; each installed file gets a backup; then all are swapped in; only
// then are the backups removed. A target that cannot be swapped (in use,
// after the bounded retries) puts every swapped file back.
//
// Nothing here touches a window: the updater's Finish and a host-side kit
// that applies a silent stage call the same code.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <vector>

struct InstallItem {
    CString localName;    // the target, a plain file name in the program folder
    CString staged;       // the full path of the staged file
    CString listedDigest; // the digest list's value for the module
    // With a publisher's key: the signed SHA-256 and size ("" and -1 otherwise).
    CString signedSha256{};
    long long signedSize = -1;
};
using InstallItems = std::vector<InstallItem>;

// Whether a new copy is the file the release describes; every copy passes
// this one check before anything installed changes.
using CopyCheck = bool (*)(const char* copyPath, const InstallItem& item);
// The keyed digest of the copy against the listed one and, when the release is
// signed, its size and SHA-256 against the signed ones.
bool MatchesListedDigest(const char* copyPath, const InstallItem& item);

struct InstallOptions {
    // A file in use is tried again this many times in all, this far apart.
    int tries = 10;
    DWORD pauseMs = 200;
    CopyCheck check = &MatchesListedDigest;
    // A target still in use after the tries is moved aside (over its backup)
    // instead of failing the set: a running program may rename its own file,
    // not replace it. Its old file stays behind as debris while it runs.
    bool moveAsideInUse = false;
};

enum class InstallOutcome {
    Installed,  // every target holds its new file; the staging folder is gone
    Unchanged,  // every target holds its old file; the staged files are kept
    Unfinished, // putting back failed part-way: the journal stays for the next start
};

// Installs `items` from `stagingFolder` (relative to `programDir`, ending in
// a backslash; removed with everything in it once the set is installed). An
// interrupted install found first is recovered first; when that cannot be
// completed, nothing is done and the outcome is Unchanged.
InstallOutcome InstallSet(const CString& programDir, const CString& stagingFolder,
                          const InstallItems& items, const InstallOptions& options = {});

enum class RecoveryOutcome {
    Nothing,       // no journal
    RolledForward, // the interrupted set is installed
    RolledBack,    // the interrupted set is undone
    Unfinished,    // some step failed (a file in use); the journal stays
    Discarded,     // the journal could not be read; removed, nothing else touched
};

// Finishes or undoes an install that was cut short, by its journal.
RecoveryOutcome RecoverInterruptedInstall(const CString& programDir,
                                          const InstallOptions& options = {});
