// The host's way to close the updater: a thread waits for the event
// "*_UPDATER_EXIT_*" (manual reset, created here or opened when the host made
// it first) and then posts WM_CLOSE to the update window. The watch ends with
// its owner, so no thread is left behind.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

class CExitWatch {
public:
    CExitWatch() = default;
    ~CExitWatch() { Stop(); }
    CExitWatch(const CExitWatch&) = delete;
    CExitWatch& operator=(const CExitWatch&) = delete;

    // Starts UpdaterExitWatchThread for `window`.
    void Start(HWND window);
    void Stop();

private:
    static UINT UpdaterExitWatchThread(void* param);

    HWND window = nullptr;
    UniqueHandle exitEvent;
    UniqueHandle stopEvent;
    UniqueHandle thread;
};
