#include "VersionCheck.h"

#include "Digest.h"
#include "ModuleTable.h"

#include <cstring>

namespace {

std::optional<PendingDownload> Compare(const LaunchValues& launch, const char* moduleName,
                                       const char* digestListPath, int messageId,
                                       const char* extension, const std::string* knownDigest) {
    CString remoteName = CString(moduleName) + extension;
    CString localName =
        std::strcmp(moduleName, "Nirvek") == 0 ? CString("Tevrane.exe") : remoteName;

    char expected[260] = {};
    GetPrivateProfileStringA("ModuleVersion", moduleName, "", expected, sizeof expected,
                             digestListPath);
    std::string actual =
        knownDigest ? *knownDigest
                    : ComputeFileDigest((launch.programDir + localName).c_str(), kDigestKey);
    if (actual == expected)
        return std::nullopt;
    return PendingDownload{messageId, localName, launch.baseUrl + remoteName, expected};
}

} // namespace

int CheckModule(const LaunchValues& launch, const char* moduleName, const char* digestListPath,
                int messageId, const char* extension, PendingDownloadList* list) {
    if (std::optional<PendingDownload> entry =
            Compare(launch, moduleName, digestListPath, messageId, extension, nullptr))
        list->push_back(*entry);
    return 1;
}

std::optional<PendingDownload> CompareModule(const LaunchValues& launch, const ModuleRow& row,
                                             const char* digestListPath,
                                             const std::string& actualDigest) {
    return Compare(launch, row.name, digestListPath, row.progressMessage, row.extension,
                   &actualDigest);
}

bool IsWellFormedDigest(const char* digest) {
    size_t n = 0;
    for (; digest[n]; ++n)
        if (!((digest[n] >= '0' && digest[n] <= '9') || (digest[n] >= 'a' && digest[n] <= 'f')))
            return false;
    return n == 32;
}

bool StagedFileMatches(const char* path, const CString& listedDigest) {
    return !IsWellFormedDigest(listedDigest) || ComputeFileDigest(path, kDigestKey) == listedDigest;
}

bool IsDigestList(const char* digestListPath) {
    // One entry is enough to know; a longer section just fills the buffer.
    char entries[64];
    return GetPrivateProfileSectionA("ModuleVersion", entries, sizeof entries, digestListPath) > 0;
}

PendingDownloadList CheckModules(const LaunchValues& launch, const char* digestListPath) {
    PendingDownloadList list;
    for (const ModuleRow& module : kModuleTable)
        CheckModule(launch, module.name, digestListPath, module.progressMessage, module.extension,
                    &list);
    return list;
}
