// The host application's module files: the fixed list the version check walks
// and the release tool publishes. Free of windows.h so the native release tool
// can use it; the progress message ids are plain integers (WM_USER is 0x400).
#pragma once

#include <cstdint>
#include <string_view>

constexpr int32_t kUserMessageBase = 0x400; // WM_USER

struct ModuleRow {
    const char* name;        // also the key in the digest list's "ModuleVersion" section
    const char* extension;   // with the dot
    const char* localFile;   // relative to the program directory
    const char* remoteFile;  // relative to the server's base URL: name + extension
    int32_t progressMessage; // WM_USER + n, sent by the download component for this module
};

constexpr int kModuleCount = 15;

// In the order the version check walks them.
extern const ModuleRow kModuleTable[kModuleCount];

// The row of the module called `name` (exact, case-sensitive), or null.
const ModuleRow* FindModule(std::string_view name);
