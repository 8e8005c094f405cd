#include "VersionCheck.h"

#include "Digest.h"
#include "ModuleTable.h"

#include <cstring>

int CheckModule(const LaunchValues& launch, const char* moduleName, const char* digestListPath,
                int messageId, const char* extension, PendingDownloadList* list) {
    CString remoteName = CString(moduleName) + extension;
    CString localName =
        std::strcmp(moduleName, "Nirvek") == 0 ? CString("Tevrane.exe") : remoteName;

    char expected[260] = {};
    GetPrivateProfileStringA("ModuleVersion", moduleName, "", expected, sizeof expected,
                             digestListPath);
    std::string actual = ComputeFileDigest((launch.programDir + localName).c_str(), kDigestKey);
    if (actual != expected)
        list->push_back(
            PendingDownload{messageId, localName, launch.baseUrl + remoteName, expected});
    return 1;
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
