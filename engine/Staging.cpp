#include "Staging.h"

#include "LaunchValues.h"
#include "SafeFiles.h"

namespace {
// What the system's profile writer puts in a new file for this one key.
constexpr const char* kMarkerText = "[SUpgrade]\r\nKey=1\r\n";
} // namespace

CString StagingFolder(int mode, const CString& programDir) {
    return programDir + (mode == ModeSilent ? kSilentStagingFolder : kStagingFolder);
}

CString StagingTarget(int mode, const CString& programDir, const CString& localName) {
    if (mode == ModeSilent)
        return StagingFolder(mode, programDir) + localName;
    return StagingFolder(mode, programDir) + localName + ".tmp";
}

CString SilentMarkerPath(const CString& programDir) {
    return programDir + kSilentStagingFolder + kSilentMarkerName;
}

bool ClearSilentStage(const CString& programDir) {
    CString folder = programDir + kSilentStagingFolder;
    if (IsReparsePoint(folder))
        return false;
    // Without its marker a part-cleared stage vouches for nothing.
    return RemoveFile(SilentMarkerPath(programDir)) && EmptyFolder(folder);
}

bool WriteSilentMarker(const CString& programDir, const PendingDownloadList& list) {
    CString folder = programDir + kSilentStagingFolder;
    if (IsReparsePoint(folder))
        return false;
    for (const PendingDownload& entry : list)
        if (!FlushFile(folder + entry.localName))
            return false;
    return ReplaceWithBytes(SilentMarkerPath(programDir), kMarkerText);
}
