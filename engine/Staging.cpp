#include "Staging.h"

#include "AcceptedSerial.h"
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
    // A signed release names each staged file's SHA-256 and its serial, so that
    // the host can check what it installs; the serial is then recorded.
    std::string text = kMarkerText;
    const uint64_t serial = list.empty() ? 0 : list.front().releaseSerial;
    if (serial) {
        for (const PendingDownload& entry : list)
            text += entry.localName + "=" + entry.signedSha256 + "\r\n";
        text += "Serial=" + std::to_string(serial) + "\r\n";
    }
    if (!ReplaceWithBytes(SilentMarkerPath(programDir), text))
        return false;
    return !serial || RecordAcceptedSerial(programDir, serial);
}
