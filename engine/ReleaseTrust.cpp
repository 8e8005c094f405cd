#include "ReleaseTrust.h"

#include "AcceptedSerial.h"
#include "ListSignature.h"
#include "ModuleTable.h"
#include "Sha256.h"
#include "framework/Handles.h"

#include <windows.h>

#include <ctime>

// The list and the change log are small (a bound applies to their download); a
// file far beyond that is refused rather than read.
bool ReadSmallFile(const char* path, std::string& bytes) {
    constexpr long long kMaxListBytes = 16 << 20;
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxListBytes)
        return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
            got == bytes.size());
}

bool AcceptSignedList(const char* listPath, const char* programDir,
                      const std::vector<PublicKey>& keys, SignedList& list) {
    std::string bytes, error;
    if (!ReadSmallFile(listPath, bytes) || !ParseSignedList(bytes, list, error) ||
        !SignedByAnyOf(list, keys))
        return false;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    return CheckListAge(list, now, ReadAcceptedSerial(programDir)) == ListAge::Current;
}

void BindSignedValues(const SignedList& list, PendingDownload& entry) {
    entry.releaseSerial = list.serial;
    for (const ModuleRow& row : kModuleTable) {
        const ReleaseFile* file = list.FindFile(row.name);
        if (row.progressMessage == entry.messageId && file) {
            entry.signedSha256 = CString(file->sha256);
            entry.signedSize = file->size;
        }
    }
    // A module the signed list does not name can never match: it is refused
    // rather than taken unchecked.
    if (entry.signedSha256.empty())
        entry.signedSha256 = CString("-");
}

bool MatchesSignedFile(const char* path, long long size, const CString& sha256) {
    if (sha256.empty())
        return true;
    long long actual = 0;
    const std::string hex = Sha256OfFile(path, actual);
    return !hex.empty() && actual == size && hex == static_cast<const std::string&>(sha256);
}

bool IsSignedChangeLog(const SignedList& list, const std::string& bytes) {
    const ReleaseFile* file = list.FindFile(kChangeLogFileName);
    Sha256Value hash;
    return file && file->size == static_cast<int64_t>(bytes.size()) &&
           Sha256Of(bytes.data(), bytes.size(), hash) &&
           ToHex(hash.data(), hash.size()) == file->sha256;
}
