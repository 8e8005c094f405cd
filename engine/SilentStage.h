// Applying a silent stage on the host's side: the modules a silent update left
// complete in "UpgradeBackup\" beside its marker are installed with the same
// all-or-nothing transaction as an interactive Finish, then the folder goes.
// A stage that does not check out is removed and reported; nothing of it is
// installed.
#pragma once

#include "InstallTransaction.h"
#include "SilentMarker.h"
#include "framework/String.h"

#include <string>
#include <vector>

enum class StageOutcome {
    NoStage,    // no marker saying "Key" = "1": nothing to do, nothing touched
    Installed,  // every staged file is installed; marker and folder are gone
    Refused,    // the stage did not check out; removed, nothing installed
    Kept,       // a target could not be replaced (in use): nothing changed, the stage stays
    Unfinished, // putting back failed part-way: the journal stays for the next start
};

struct StageReport {
    StageOutcome outcome = StageOutcome::NoStage;
    int files = 0;       // staged files installed (Installed) or found (otherwise)
    bool hashed = false; // the marker named the files with their SHA-256
    CString reason;      // why a stage was refused, in a few words
};

// Which staged files make up the stage: `found` are the names in the folder
// (the marker left out). Each must be a module's installed file name; when
// the marker names files, exactly those files must be there. False, with the
// reason, when the stage does not check out.
bool PlanSilentStage(const SilentMarker& marker, const std::vector<CString>& found,
                     const CString& folder, InstallItems* items, CString* reason);

// The SHA-256 of the copy against the item's `listedDigest` (a stage without
// hashes lists none, and any copy passes).
bool MatchesStagedSha256(const char* copyPath, const InstallItem& item);

// Applies the stage of `programDir` (ending in a backslash).
StageReport ApplySilentStage(const CString& programDir, const InstallOptions& options = {});
