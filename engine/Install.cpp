#include "Install.h"

#include "AcceptedSerial.h"
#include "SafeFiles.h"
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

InstallOutcome InstallModules(const CString& programDir, const PendingDownloadList& list,
                              const InstallOptions& options) {
    InstallItems items;
    for (const PendingDownload& entry : list)
        items.push_back({entry.localName, programDir + kStagingFolder + entry.localName + ".tmp",
                         entry.listedDigest, entry.signedSha256, entry.signedSize});
    return InstallSet(programDir, kStagingFolder, items, options);
}

void DeleteFolder(const char* folder) {
    RemoveFolder(folder);
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

InstallOutcome FinishUpdate(HWND hostWindow, const CString& programDir,
                            const PendingDownloadList& list, UniqueHandle* restartedHost) {
    SignalNamedEvent(kHostExitEvent);
    WaitForHostExit(hostWindow);
    if (restartedHost && *restartedHost) {
        HANDLE h = restartedHost->Get();
        WaitAllDispatchingSent(&h, 1, INFINITE);
        restartedHost->Reset();
    }
    InstallOutcome outcome = InstallModules(programDir, list);
    // A signed release, once installed, is the oldest this folder accepts.
    if (outcome == InstallOutcome::Installed && !list.empty() && list.front().releaseSerial)
        RecordAcceptedSerial(programDir, list.front().releaseSerial);
    // The host ran before Finish, so it runs again whatever the outcome.
    HANDLE process = nullptr;
    if (LaunchProgram(programDir + kHostProgram, &process, "") && process) {
        if (restartedHost && outcome != InstallOutcome::Installed)
            restartedHost->Reset(process);
        else
            CloseHandle(process);
    }
    return outcome;
}
