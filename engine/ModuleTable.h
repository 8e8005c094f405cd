// The host's 15 module files, in the order the version check walks them.
#pragma once

struct ModuleInfo {
    const char* name;       // key in the digest list; remote file = name + extension
    const char* extension;
    const char* localName;  // file in the program directory
    int progressMessage;    // WM_USER + n: the module's progress message
};

constexpr int kModuleCount = 15;
extern const ModuleInfo kModuleTable[kModuleCount];
