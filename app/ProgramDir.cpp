#include "ProgramDir.h"

#include "engine/Install.h"
#include "framework/WinApp.h"

CString programDir;

CString GetProgramDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH - 1);
    return GetFileDirectory(path);
}
