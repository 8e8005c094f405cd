#include "InstallTransaction.h"

#include "InstallJournal.h"
#include "ReleaseTrust.h"
#include "SafeFiles.h"
#include "VersionCheck.h"

namespace {

bool InUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// Runs `step` until it succeeds, again while its failure says a file is in use.
template <typename Step> bool WithRetries(const InstallOptions& options, Step step) {
    for (int attempt = 1;; ++attempt) {
        if (step())
            return true;
        if (attempt >= options.tries || !InUse(GetLastError()))
            return false;
        Sleep(options.pauseMs);
    }
}

struct Companions {
    CString target, newCopy, backup;
};

Companions CompanionsOf(const CString& programDir, const CString& name) {
    CString target = programDir + name;
    return {target, target + kNewCopySuffix, target + kBackupSuffix};
}

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool MoveOver(const char* from, const char* to, const InstallOptions& options) {
    return WithRetries(options, [&] {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
}

// Runs one step; true when it succeeded. `settles` says whether the step
// changes the target itself (the others only clear companions).
bool RunStep(RecoveryStep step, const Companions& c, const InstallOptions& options, bool* settles) {
    *settles = step == RecoveryStep::MoveNewOverTarget ||
               step == RecoveryStep::MoveBackupOverTarget || step == RecoveryStep::RemoveTarget;
    switch (step) {
    case RecoveryStep::MoveNewOverTarget:
        return MoveOver(c.newCopy, c.target, options);
    case RecoveryStep::MoveBackupOverTarget:
        return MoveOver(c.backup, c.target, options);
    case RecoveryStep::RemoveTarget:
        return WithRetries(options, [&] { return RemoveFile(c.target); });
    case RecoveryStep::RemoveNew:
        return RemoveFile(c.newCopy);
    case RecoveryStep::RemoveBackup:
        return RemoveFile(c.backup);
    }
    return false;
}

// Rolls the journal's set forward or back by its state; true when every
// target is settled (the journal is then removed). Rolled forward, the set's
// staging folder goes too, unless `keepStage` (a new set is staged there).
bool Settle(const CString& programDir, const InstallJournal& journal, const InstallOptions& options,
            bool keepStage = false) {
    bool settled = true;
    for (const JournalEntry& entry : journal.entries) {
        Companions c = CompanionsOf(programDir, entry.name);
        OnDisk disk{Exists(c.target), Exists(c.newCopy), Exists(c.backup)};
        for (RecoveryStep step : RecoverySteps(journal.state, entry.hadOld, disk)) {
            bool settles = false;
            if (!RunStep(step, c, options, &settles) && settles) {
                settled = false;
                break;
            }
        }
    }
    if (!settled)
        return false;
    if (journal.state == JournalState::Swapping && !keepStage)
        RemoveFolder(programDir + journal.stagingFolder);
    RemoveJournal(programDir);
    return true;
}

// The journal of a new install; false when it could not be read back (a name
// that is not plain, a repeated name), so nothing may be written.
bool MakeJournal(const CString& programDir, const CString& stagingFolder, const InstallItems& items,
                 InstallJournal* journal) {
    journal->state = JournalState::Preparing;
    journal->stagingFolder = stagingFolder;
    for (const InstallItem& item : items)
        journal->entries.push_back({item.localName, Exists(programDir + item.localName)});
    InstallJournal readBack;
    return ParseJournal(FormatJournal(*journal), &readBack);
}

// The new copy beside the target, checked, and a copy of the target as its
// backup. Both are files of their own: one that cannot be read now (in use
// without sharing) fails here, before anything installed changes, and either
// can be removed whatever happens to the target.
bool PrepareItem(const Companions& c, const InstallItem& item, bool hadOld,
                 const InstallOptions& options) {
    if (!RemoveFile(c.newCopy) || !RemoveFile(c.backup))
        return false;
    if (!CopyToNewFile(item.staged, c.newCopy) || !options.check(c.newCopy, item))
        return false;
    return !hadOld || WithRetries(options, [&] { return CopyToNewFile(c.target, c.backup); });
}

bool Prepare(const CString& programDir, const InstallItems& items, const InstallJournal& journal,
             const InstallOptions& options) {
    for (size_t i = 0; i < items.size(); ++i)
        if (!PrepareItem(CompanionsOf(programDir, items[i].localName), items[i],
                         journal.entries[i].hadOld, options))
            return false;
    return true;
}

// Swaps the new copy in. With `moveAsideInUse`, a target that stays in use
// (a running program's own file) is moved over its backup, which holds the
// same bytes, and the new copy takes the freed name; when that second move
// fails, the target goes back at once, so the journal's rule still holds.
bool SwapOne(const Companions& c, const InstallOptions& options) {
    if (MoveOver(c.newCopy, c.target, options))
        return true;
    if (!options.moveAsideInUse || !InUse(GetLastError()) || !Exists(c.backup))
        return false;
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExA(c.target, c.backup, kFlags))
        return false;
    if (MoveFileExA(c.newCopy, c.target, MOVEFILE_WRITE_THROUGH))
        return true;
    MoveFileExA(c.backup, c.target, kFlags);
    return false;
}

bool SwapAll(const CString& programDir, const InstallItems& items, const InstallOptions& options) {
    for (const InstallItem& item : items)
        if (!SwapOne(CompanionsOf(programDir, item.localName), options))
            return false;
    return true;
}

RecoveryOutcome Recover(const CString& programDir, const InstallOptions& options, bool keepStage);

} // namespace

bool MatchesListedDigest(const char* copyPath, const InstallItem& item) {
    return StagedFileMatches(copyPath, item.listedDigest) &&
           MatchesSignedFile(copyPath, item.signedSize, item.signedSha256);
}

InstallOutcome InstallSet(const CString& programDir, const CString& stagingFolder,
                          const InstallItems& items, const InstallOptions& options) {
    if (Recover(programDir, options, true) == RecoveryOutcome::Unfinished)
        return InstallOutcome::Unchanged;
    InstallJournal journal;
    if (!MakeJournal(programDir, stagingFolder, items, &journal) ||
        !WriteJournal(programDir, journal))
        return InstallOutcome::Unchanged;
    if (!Prepare(programDir, items, journal, options)) {
        Settle(programDir, journal, options);
        return InstallOutcome::Unchanged;
    }
    journal.state = JournalState::Swapping;
    if (!WriteJournal(programDir, journal)) {
        journal.state = JournalState::Preparing;
        Settle(programDir, journal, options);
        return InstallOutcome::Unchanged;
    }
    if (SwapAll(programDir, items, options)) {
        Settle(programDir, journal, options); // removes the backups and the staging folder
        return InstallOutcome::Installed;
    }
    // Without this state on the disk a cut here would be rolled forward.
    journal.state = JournalState::RollingBack;
    if (!WriteJournal(programDir, journal))
        return InstallOutcome::Unfinished;
    return Settle(programDir, journal, options) ? InstallOutcome::Unchanged
                                                : InstallOutcome::Unfinished;
}

RecoveryOutcome RecoverInterruptedInstall(const CString& programDir,
                                          const InstallOptions& options) {
    return Recover(programDir, options, false);
}

namespace {

RecoveryOutcome Recover(const CString& programDir, const InstallOptions& options, bool keepStage) {
    // A journal state never renamed into place: the journal itself still holds
    // the state that counts.
    RemoveFile(programDir + kInstallJournalName + kNewCopySuffix);
    InstallJournal journal;
    switch (ReadJournal(programDir, &journal)) {
    case JournalRead::Absent:
        return RecoveryOutcome::Nothing;
    case JournalRead::Unreadable:
        RemoveJournal(programDir);
        return RecoveryOutcome::Discarded;
    case JournalRead::Read:
        break;
    }
    if (!Settle(programDir, journal, options, keepStage))
        return RecoveryOutcome::Unfinished;
    return journal.state == JournalState::Swapping ? RecoveryOutcome::RolledForward
                                                   : RecoveryOutcome::RolledBack;
}

} // namespace
