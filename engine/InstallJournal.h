// The install journal: a small file in the program folder that says how far
// the install of a set of modules got, so that an install cut short (the
// updater killed, the power lost) is finished or undone the next time the
// updater starts, and the set is never left part old, part new.
//
// While a set is installed, each target T (a file name in the program folder)
// has two companions beside it: "T.new~", the verified new copy, and "T.old~",
// the backup of the installed file (none when T did not exist). The journal
// lists the targets and holds one state:
//
//   preparing     written before the first companion is made; no installed
//                 file has changed yet.
//   swapping      written once every new copy is complete, flushed and
//                 verified and every backup exists, before the first swap.
//   rolling-back  written when a swap failed, before the first file is put back.
//
// The rule: a journal that says "swapping" is rolled forward, any other is
// rolled back. Forward: each "T.new~" still there is moved over T, then the
// backups, the staging folder and the journal are removed. Back: a target
// whose "T.new~" is gone was swapped, so its "T.old~" is moved over it (or,
// when it did not exist before, it is removed); the other companions and the
// journal are removed; the staged files stay for the next try. Both may be
// cut short and run again. The journal goes once every target is settled;
// a companion that cannot be removed is only debris, which the next install
// clears before it starts.
// Every step is on the disk before the journal changes state: copies and
// backups are flushed, renames are written through, and the journal itself
// is flushed under a temporary name and then renamed into place.
#pragma once

#include "framework/String.h"

#include <string>
#include <string_view>
#include <vector>

constexpr const char* kInstallJournalName = "UpgradeInstall.journal";
constexpr const char* kNewCopySuffix = ".new~";
constexpr const char* kBackupSuffix = ".old~";

enum class JournalState { Preparing, Swapping, RollingBack };

struct JournalEntry {
    CString name;        // the target, a plain file name in the program folder
    bool hadOld = false; // whether the target existed (and has a backup)
};

struct InstallJournal {
    JournalState state = JournalState::Preparing;
    CString stagingFolder; // where the staged files lie, e.g. "UpgradeBackup_P\"
    std::vector<JournalEntry> entries;
};

// The journal's text, and the reverse. Parsing accepts only what formatting
// writes: a known state, plain names (no folder, no drive, no "..") without
// repeats, and the closing line; anything else is not a journal.
std::string FormatJournal(const InstallJournal& journal);
bool ParseJournal(std::string_view text, InstallJournal* journal);

// A name that stays inside the folder it is appended to.
bool IsPlainFileName(std::string_view name);

// What recovery does with one target, given the journal's state, whether the
// target had an old file, and what lies on the disk. In order.
enum class RecoveryStep {
    MoveNewOverTarget,    // "T.new~" -> T
    MoveBackupOverTarget, // "T.old~" -> T
    RemoveTarget,         // T was swapped in and had no old file
    RemoveNew,
    RemoveBackup,
};
struct OnDisk {
    bool target = false;
    bool newCopy = false;
    bool backup = false;
};
std::vector<RecoveryStep> RecoverySteps(JournalState state, bool hadOld, OnDisk disk);

// The journal in `programDir`: written atomically (see above), read, removed.
enum class JournalRead { Absent, Read, Unreadable };
bool WriteJournal(const CString& programDir, const InstallJournal& journal);
JournalRead ReadJournal(const CString& programDir, InstallJournal* journal);
bool RemoveJournal(const CString& programDir);
