#include "SafeFiles.h"

#include "framework/Handles.h"

#include <vector>

namespace {

// The path without a trailing backslash, as the attribute calls want a folder.
CString WithoutSlash(const char* path) {
    CString s(path);
    if (s.size() > 1 && s.back() == '\\')
        s.pop_back();
    return s;
}

UniqueHandle CreateNew(const char* path) {
    return UniqueHandle(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Fills `file` (created new at `path`) and flushes it; removes it on failure.
template <typename Fill> bool FillNewFile(const char* path, Fill fill) {
    bool ok;
    {
        UniqueHandle file = CreateNew(path);
        if (!file)
            return false;
        ok = fill(file.Get()) && FlushFileBuffers(file.Get());
    }
    if (!ok)
        DeleteFileA(path);
    return ok;
}

std::vector<WIN32_FIND_DATAA> FolderEntries(const char* folder) {
    std::vector<WIN32_FIND_DATAA> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((CString(folder) + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        CString name(data.cFileName);
        if (name != "." && name != "..")
            entries.push_back(data);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

} // namespace

bool IsReparsePoint(const char* path) {
    DWORD attributes = GetFileAttributesA(WithoutSlash(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsSafeWriteTarget(DWORD folderAttributes, DWORD targetAttributes) {
    if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
        !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return targetAttributes == INVALID_FILE_ATTRIBUTES ||
           !(targetAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool CheckWriteTarget(const char* folder, const char* target) {
    return IsSafeWriteTarget(GetFileAttributesA(WithoutSlash(folder)), GetFileAttributesA(target));
}

bool WriteNewFile(const char* path, std::string_view bytes) {
    return FillNewFile(path,
                       [&](HANDLE file) { return WriteAll(file, bytes.data(), bytes.size()); });
}

bool CopyToNewFile(const char* source, const char* destination) {
    UniqueHandle from(CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from)
        return false;
    return FillNewFile(destination, [&](HANDLE to) {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(from.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                          nullptr))
                return false;
            if (read == 0)
                return true;
            if (!WriteAll(to, buffer.data(), read))
                return false;
        }
    });
}

bool FlushFile(const char* path) {
    if (IsReparsePoint(path))
        return false;
    UniqueHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && FlushFileBuffers(file.Get());
}

bool ReplaceWithBytes(const char* path, std::string_view bytes) {
    CString temporary = CString(path) + ".new~";
    if (!RemoveFile(temporary) || !WriteNewFile(temporary, bytes))
        return false;
    if (MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary);
    return false;
}

bool RemoveFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The link itself goes; what it points to is not touched.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryA(path);
        else
            DeleteFileA(path);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return false;
    } else {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        DeleteFileA(path);
    }
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool EmptyFolder(const char* folder) {
    DWORD attributes = GetFileAttributesA(WithoutSlash(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false; // never look inside a link
    bool emptied = true;
    for (const WIN32_FIND_DATAA& entry : FolderEntries(folder)) {
        CString path = CString(folder) + entry.cFileName;
        bool plainFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                           !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        emptied &= plainFolder ? RemoveFolder(path + "\\") : RemoveFile(path);
    }
    return emptied && FolderEntries(folder).empty();
}

bool RemoveFolder(const char* folder) {
    CString base = WithoutSlash(folder);
    DWORD attributes = GetFileAttributesA(base);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return RemoveFile(base);
    return EmptyFolder(folder) && RemoveDirectoryA(base);
}
