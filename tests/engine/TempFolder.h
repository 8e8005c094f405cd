// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    // The folder with a trailing backslash.
    const CString& Path() const { return path; }
    CString operator/(const char* name) const { return path + name; }

private:
    CString path;
};

void WriteFileBytes(const CString& path, const std::string& bytes);
std::string ReadFileBytes(const CString& path); // "<missing>" when it cannot be read
bool Exists(const CString& path);
