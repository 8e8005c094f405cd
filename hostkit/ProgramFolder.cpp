#include "ProgramFolder.h"

#include <windows.h>

CString ProgramFolderOf(const char* given) {
    CString folder;
    if (given && *given) {
        folder = given;
    } else {
        char path[MAX_PATH] = {};
        DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return {};
        folder = path;
        size_t slash = folder.rfind('\\');
        if (slash == CString::npos)
            return {};
        folder.resize(slash);
    }
    if (!folder.EndsWith("\\"))
        folder += "\\";
    return folder;
}
