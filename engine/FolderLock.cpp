#include "FolderLock.h"

#include "Sha256.h"

#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

// Calls `get(buffer, size)` (a Win32 call that returns the length it needs when
// the buffer is too small) until the text fits; empty on failure.
template <typename Get> std::wstring GrowingCall(Get get) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int tries = 0; tries < 4; ++tries) {
        DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return {};
}

// The folder as the file system names it: absolute, with links, junctions and
// short names resolved where the system can tell, without a trailing backslash,
// in upper case.
std::wstring FolderIdentity(const char* folder) {
    std::wstring path = Widen(folder);
    if (path.empty())
        return {};
    std::wstring full = GrowingCall(
        [&](wchar_t* b, DWORD n) { return GetFullPathNameW(path.c_str(), n, b, nullptr); });
    if (full.empty())
        return {};
    UniqueHandle directory(
        CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring resolved;
    if (directory)
        resolved = GrowingCall([&](wchar_t* b, DWORD n) {
            return GetFinalPathNameByHandleW(directory.Get(), b, n, FILE_NAME_NORMALIZED);
        });
    if (resolved.empty())
        resolved =
            GrowingCall([&](wchar_t* b, DWORD n) { return GetLongPathNameW(full.c_str(), b, n); });
    if (resolved.empty())
        resolved = full;
    if (resolved.rfind(L"\\\\?\\", 0) == 0)
        resolved.erase(0, 4);
    while (resolved.size() > 1 && resolved.back() == L'\\')
        resolved.pop_back();
    std::wstring upper(resolved.size(), L'\0');
    if (resolved.empty() || LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, resolved.data(),
                                          static_cast<int>(resolved.size()), upper.data(),
                                          static_cast<int>(upper.size()), nullptr, nullptr, 0) == 0)
        return {};
    return upper;
}

} // namespace

std::string FolderLockName(const char* folder) {
    if (!folder)
        return {};
    std::wstring identity = FolderIdentity(folder);
    if (identity.empty())
        return {};
    std::string hash =
        Sha256Hex(identity.data(), static_cast<ULONG>(identity.size() * sizeof(wchar_t)));
    return hash.empty() ? std::string() : "Global\\UpdaterFolder-" + hash;
}

bool CFolderLock::Acquire(const char* folder, DWORD waitMs) {
    Release();
    std::string name = FolderLockName(folder);
    if (name.empty())
        return false;
    // Another session's updater may hold a mutex we are not allowed to open:
    // that fails with access denied, which means the same as finding it held.
    UniqueHandle candidate(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!candidate)
        return false;
    DWORD waited = WaitForSingleObject(candidate.Get(), waitMs);
    // An abandoned mutex was held by an updater that ended without letting go.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return false;
    mutex = std::move(candidate);
    owned = true;
    return true;
}

void CFolderLock::Release() {
    if (owned)
        ReleaseMutex(mutex.Get());
    owned = false;
    mutex.Reset();
}
