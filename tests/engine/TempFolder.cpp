#include "TempFolder.h"

#include "engine/Install.h"

#include <cstdio>

TempFolder::TempFolder() {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    CString name;
    name.Format("%supdater-test-%lu-%d\\", base, GetCurrentProcessId(), ++counter);
    CreateDirectoryA(name, nullptr);
    path = name;
}

TempFolder::~TempFolder() {
    DeleteFolder(path);
}

void WriteFileBytes(const CString& path, const std::string& bytes) {
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string ReadFileBytes(const CString& path) {
    FILE* f = fopen(path, "rb");
    if (!f)
        return "<missing>";
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

bool Exists(const CString& path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
