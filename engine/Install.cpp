#include "Install.h"

#include "Staging.h"
#include "framework/Handles.h"
#include "framework/Thread.h"

#include <shellapi.h>

#include <string>

// Both opens ask for the one right they use: the host may run elevated, and then
// its objects refuse us anything more.
BOOL SignalNamedEvent(const char* name) {
    UniqueHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, name));
    return event ? SetEvent(event.Get()) : 0;
}

void WaitForHostExit(HWND hostWindow) {
    DWORD processId = 0;
    GetWindowThreadProcessId(hostWindow, &processId);
    UniqueHandle process(processId ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr);
    if (process) {
        HANDLE h = process.Get();
        WaitAllDispatchingSent(&h, 1, INFINITE);
    }
}

bool ReplaceFileAtomically(const CString& staged, const CString& target) {
    constexpr int kTries = 10;
    constexpr DWORD kPauseMs = 200;
    CString temporary = target + ".new~";
    if (!CopyFileA(staged, temporary, FALSE))
        return false;
    // The copy must be on disk before it takes the target's name.
    {
        UniqueHandle file(CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            FlushFileBuffers(file.Get());
    }
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
            error != ERROR_LOCK_VIOLATION)
            break;
        Sleep(kPauseMs);
    }
    DeleteFileA(temporary);
    return false;
}

void InstallModules(const CString& programDir, const PendingDownloadList& list) {
    CString staging = programDir + kStagingFolder;
    for (const PendingDownload& entry : list) {
        CString staged = staging + entry.localName + ".tmp";
        ReplaceFileAtomically(staged, programDir + entry.localName);
        DeleteFileA(staged);
    }
    DeleteFolder(staging);
}

void DeleteFolder(const char* folder) {
    // The shell wants a list of names ending in an extra NUL, and no trailing
    // backslash on a folder name.
    std::string from(folder);
    if (!from.empty() && from.back() == '\\')
        from.pop_back();
    from.push_back('\0');
    from.push_back('\0');
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&operation);
}

CString GetFileDirectory(const char* path) {
    std::string s(path);
    size_t slash = s.rfind('\\');
    return slash == std::string::npos ? CString() : CString(s.substr(0, slash + 1));
}

BOOL LaunchProgram(const char* path, HANDLE* process, const char* parameters) {
    CString program(path);
    CString directory = GetFileDirectory(path);
    if (program.EndsWith(".dat") || program.EndsWith(".download")) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        CString commandLine(parameters);
        if (CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           directory, &startup, &info)) {
            *process = info.hProcess;
            CloseHandle(info.hThread);
            return TRUE;
        }
    }
    if (program.EndsWith(".dat")) {
        CString exe;
        for (size_t i = 0; i < program.size();) {
            if (program.compare(i, 4, ".dat") == 0) {
                exe += ".exe";
                i += 4;
            } else {
                exe += program[i++];
            }
        }
        CopyFileA(program, exe, FALSE);
        program = exe;
    }
    SHELLEXECUTEINFOA execute{};
    execute.cbSize = sizeof execute;
    // No error box: a failed start is not reported, and nobody could answer a box
    // shown by the hidden updater.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = program;
    execute.lpParameters = parameters;
    execute.lpDirectory = directory;
    execute.nShow = SW_SHOWNORMAL;
    BOOL started = ShellExecuteExA(&execute);
    *process = execute.hProcess;
    return started;
}

void FinishUpdate(HWND hostWindow, const CString& programDir, const PendingDownloadList& list) {
    SignalNamedEvent(kHostExitEvent);
    WaitForHostExit(hostWindow);
    InstallModules(programDir, list);
    HANDLE process = nullptr;
    if (LaunchProgram(programDir + kHostProgram, &process, "") && process)
        CloseHandle(process);
}
