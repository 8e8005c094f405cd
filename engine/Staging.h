// Where downloaded modules wait before they are installed.
#pragma once

#include "PendingDownload.h"
#include "framework/String.h"

constexpr const char* kStagingFolder = "UpgradeBackup_P\\";     // interactive modes
constexpr const char* kSilentStagingFolder = "UpgradeBackup\\"; // silent mode
constexpr const char* kSilentMarkerName = "qim_s.backup";
constexpr const char* kDigestListName = "Version.tmp";

// The folder modules are downloaded to in `mode`, with a trailing backslash.
CString StagingFolder(int mode, const CString& programDir);

// The file a module is downloaded to: in silent mode under its final name in
// the silent staging folder, otherwise "<name>.tmp" in the staging folder.
CString StagingTarget(int mode, const CString& programDir, const CString& localName);

// The marker that tells the host a silent update lies complete in
// "UpgradeBackup\": section "SUpgrade", key "Key" = "1".
CString SilentMarkerPath(const CString& programDir);

// Empties the silent staging folder for an attempt that stages anew, so that
// the marker it may write vouches only for what it fetched: the earlier marker
// goes first, then every staged file. False (nothing may be staged) when the
// folder is a link or anything in it cannot be removed.
bool ClearSilentStage(const CString& programDir);

// Marks the silent stage complete: every staged file of `list` is flushed to
// the disk, then the marker is written under a temporary name, flushed, and
// renamed into place. False, and no marker, when a staged file cannot be
// flushed or the marker cannot be written.
bool WriteSilentMarker(const CString& programDir, const PendingDownloadList& list);
