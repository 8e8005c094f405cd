#include "ProgramDir.h"

#include "framework/WinApp.h"

CString programDir;

CString DirectoryOf(const CString& path) {
    size_t slash = path.rfind('\\');
    return slash == CString::npos ? CString() : CString(path.substr(0, slash + 1));
}

CString GetProgramDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH - 1);
    return DirectoryOf(path);
}
