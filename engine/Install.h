// Finishing an interactive update: the host is asked to exit, the staged
// modules replace the installed ones, and the host is started again.
#pragma once

#include "InstallTransaction.h"
#include "PendingDownload.h"
#include "framework/Handles.h"
#include "framework/String.h"

#include <windows.h>

constexpr const char* kHostExitEvent = "*_ORVAK_EXIT_*";
constexpr const char* kUpdaterExitEvent = "*_UPDATER_EXIT_*";
constexpr const char* kHostProgram = "Tevrane.exe";

// Opens the existing event `name` and sets it; 0 when there is no such event.
BOOL SignalNamedEvent(const char* name);

// Waits, without a time limit, until the process that owns `hostWindow` has
// ended; returns at once when there is no such window or process. Messages
// that other threads send to this thread are delivered meanwhile.
void WaitForHostExit(HWND hostWindow);

// Installs every staged module of `list` from "UpgradeBackup_P\" as one set
// (InstallTransaction.h): all of them, after which the staging folder is
// removed with whatever else is in it, or none, with the staged files kept.
InstallOutcome InstallModules(const CString& programDir, const PendingDownloadList& list,
                              const InstallOptions& options = {});

// Removes `folder` (ending in a backslash) and everything in it, without
// asking; a link inside (or the folder itself, if one) goes as a link.
void DeleteFolder(const char* folder);

// Starts `path` with `parameters` in the program's own folder and stores the
// new process's handle in `process` (the caller closes it). A ".dat" file is
// first tried as a program and otherwise copied to ".exe" and started as that.
BOOL LaunchProgram(const char* path, HANDLE* process, const char* parameters);

// Everything of `path` up to and including its last backslash.
CString GetFileDirectory(const char* path);

// Steps of Finish after the window is hidden: sets the host's exit event,
// waits for the host to end (and for `restartedHost`, a host this updater
// started after an earlier Finish failed, when it holds one), installs `list`
// and starts the host again: the new one, or after a failed install the old
// one, whose process is then kept in `restartedHost`.
InstallOutcome FinishUpdate(HWND hostWindow, const CString& programDir,
                            const PendingDownloadList& list, UniqueHandle* restartedHost = nullptr);
