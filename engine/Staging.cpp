#include "Staging.h"

#include "LaunchValues.h"

CString StagingTarget(int mode, const CString& programDir, const CString& localName) {
    if (mode == ModeSilent)
        return programDir + kSilentStagingFolder + localName;
    return programDir + kStagingFolder + localName + ".tmp";
}

CString SilentMarkerPath(const CString& programDir) {
    return programDir + kSilentStagingFolder + kSilentMarkerName;
}

void WriteSilentMarker(const CString& programDir) {
    WritePrivateProfileStringA("SUpgrade", "Key", "1", SilentMarkerPath(programDir));
}
