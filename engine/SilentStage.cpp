#include "SilentStage.h"

#include "Sha256.h"
#include "ModuleTable.h"
#include "SafeFiles.h"
#include "Staging.h"

#include <windows.h>

namespace {

const ModuleRow* ModuleByLocalFile(const CString& name) {
    for (const ModuleRow& row : kModuleTable)
        if (lstrcmpiA(row.localFile, name) == 0)
            return &row;
    return nullptr;
}

const StagedFileDigest* DigestOf(const SilentMarker& marker, const CString& name) {
    for (const StagedFileDigest& d : marker.digests)
        if (lstrcmpiA(d.name, name) == 0)
            return &d;
    return nullptr;
}

// The names in `folder`, the marker left out; false when something there is
// not a plain file (a folder or a link).
bool ListStagedFiles(const CString& folder, std::vector<CString>* names) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder + "*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool plain = true;
    do {
        CString name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            plain = false;
        else if (lstrcmpiA(name, kSilentMarkerName) != 0)
            names->push_back(name);
    } while (plain && FindNextFileA(search, &found));
    FindClose(search);
    return plain;
}

StageReport Refuse(const CString& folder, int files, bool hashed, const char* reason) {
    RemoveFolder(folder);
    return {StageOutcome::Refused, files, hashed, reason};
}

} // namespace

bool PlanSilentStage(const SilentMarker& marker, const std::vector<CString>& found,
                     const CString& folder, InstallItems* items, CString* reason) {
    items->clear();
    for (const CString& name : found) {
        const ModuleRow* row = ModuleByLocalFile(name);
        const StagedFileDigest* digest = DigestOf(marker, name);
        if (!row) {
            *reason = "not a module: " + name;
            return false;
        }
        if (!marker.digests.empty() && !digest) {
            *reason = "not named by the marker: " + name;
            return false;
        }
        items->push_back({row->localFile, folder + name, digest ? digest->sha256 : CString()});
    }
    if (items->size() != found.size() ||
        (!marker.digests.empty() && marker.digests.size() != found.size())) {
        *reason = "a file the marker names is missing";
        return false;
    }
    return true;
}

bool MatchesStagedSha256(const char* copyPath, const InstallItem& item) {
    return item.listedDigest.empty() || FileSha256Hex(copyPath) == item.listedDigest;
}

StageReport ApplySilentStage(const CString& programDir, const InstallOptions& options) {
    CString folder = programDir + kSilentStagingFolder;
    SilentMarker marker;
    MarkerRead read = ReadSilentMarker(SilentMarkerPath(programDir), &marker);
    if (read == MarkerRead::Absent || (read == MarkerRead::Read && !marker.complete))
        return {};
    bool hashed = !marker.digests.empty();
    if (IsReparsePoint(folder))
        return Refuse(folder, 0, hashed, "the staging folder is a link");
    if (read == MarkerRead::Unreadable)
        return Refuse(folder, 0, hashed, "the marker cannot be read");
    std::vector<CString> found;
    if (!ListStagedFiles(folder, &found))
        return Refuse(folder, 0, hashed, "the staging folder holds a folder or a link");
    int count = static_cast<int>(found.size());
    InstallItems items;
    CString reason;
    if (!PlanSilentStage(marker, found, folder, &items, &reason))
        return Refuse(folder, count, hashed, reason);
    for (const InstallItem& item : items)
        if (!MatchesStagedSha256(item.staged, item))
            return Refuse(folder, count, hashed, ("hash mismatch: " + item.localName).c_str());
    if (items.empty()) {
        RemoveFolder(folder);
        return {StageOutcome::Installed, 0, hashed, {}};
    }
    InstallOptions install = options;
    install.check = &MatchesStagedSha256;
    install.moveAsideInUse = true; // the host applying the stage is one of its files
    switch (InstallSet(programDir, kSilentStagingFolder, items, install)) {
    case InstallOutcome::Installed:
        return {StageOutcome::Installed, count, hashed, {}};
    case InstallOutcome::Unchanged:
        return {StageOutcome::Kept, count, hashed, "a file could not be replaced"};
    case InstallOutcome::Unfinished:
        break;
    }
    return {StageOutcome::Unfinished, count, hashed, "putting back failed part-way"};
}
