// Finishing an interactive update: the host is asked to exit, the staged
// modules replace the installed ones, and the host is started again.
#pragma once

#include "PendingDownload.h"
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

// Replaces `target` by the bytes of `staged`: they are copied beside the
// target under a temporary name and then moved over it in one step, so the
// target always holds either its old or its new bytes. A target that cannot
// be replaced (in use) is retried for about two seconds. Returns success.
bool ReplaceFileAtomically(const CString& staged, const CString& target);

// Installs every staged module of `list` from "UpgradeBackup_P\" in list
// order, deletes each staged file, then removes the staging folder with
// whatever else is in it.
void InstallModules(const CString& programDir, const PendingDownloadList& list);

// Removes `folder` (ending in a backslash) and everything in it, without asking.
void DeleteFolder(const char* folder);

// Starts `path` with `parameters` in the program's own folder and stores the
// new process's handle in `process` (the caller closes it). A ".dat" file is
// first tried as a program and otherwise copied to ".exe" and started as that.
BOOL LaunchProgram(const char* path, HANDLE* process, const char* parameters);

// Everything of `path` up to and including its last backslash.
CString GetFileDirectory(const char* path);

// Steps of Finish after the window is hidden: sets the host's exit event,
// waits for the host to end, installs `list` and starts the host again.
void FinishUpdate(HWND hostWindow, const CString& programDir, const PendingDownloadList& list);
