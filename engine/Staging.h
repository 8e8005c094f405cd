// Where downloaded modules wait before they are installed.
#pragma once

#include "framework/String.h"

constexpr const char* kStagingFolder = "UpgradeBackup_P\\";     // interactive modes
constexpr const char* kSilentStagingFolder = "UpgradeBackup\\"; // silent mode
constexpr const char* kSilentMarkerName = "qim_s.backup";
constexpr const char* kDigestListName = "Version.tmp";

// The file a module is downloaded to: in silent mode under its final name in
// the silent staging folder, otherwise "<name>.tmp" in the staging folder.
CString StagingTarget(int mode, const CString& programDir, const CString& localName);

// The marker that tells the host a silent update lies complete in
// "UpgradeBackup\": section "SUpgrade", key "Key" = "1".
CString SilentMarkerPath(const CString& programDir);
void WriteSilentMarker(const CString& programDir);
