// Line-by-line reading of a text file, and small file-system helpers.
#pragma once

#include "String.h"

#include <cstdio>

class CStdioFile {
public:
    enum OpenFlags { modeRead = 0 };

    CStdioFile() = default;
    ~CStdioFile() { Close(); }
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    BOOL Open(const char* path, UINT flags = modeRead);
    // Reads the next line without its end-of-line characters ("\n" or "\r\n").
    // Returns FALSE at the end of the file. Bytes are taken as they are: no
    // end-of-file character, and NUL bytes stay in the line.
    BOOL ReadString(CString& line);
    void Close();

private:
    FILE* file = nullptr;
};

BOOL FileExists(const char* path);
