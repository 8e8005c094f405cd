#include "StdioFile.h"

BOOL CStdioFile::Open(const char* path, UINT) {
    Close();
    file = std::fopen(path, "rb");
    return file != nullptr;
}

BOOL CStdioFile::ReadString(CString& line) {
    line.clear();
    if (!file)
        return FALSE;
    int c = std::getc(file);
    if (c == EOF)
        return FALSE;
    for (; c != EOF && c != '\n'; c = std::getc(file))
        line.push_back(static_cast<char>(c));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return TRUE;
}

void CStdioFile::Close() {
    if (file)
        std::fclose(file);
    file = nullptr;
}

BOOL FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
