// A thread that waits for the host's exit event and then calls the host back,
// once. It ends with its owner (or Stop), so no thread is left behind.
#pragma once

#include "hostkit.h"

#include "framework/Handles.h"

class CExitRequestWatch {
public:
    CExitRequestWatch() = default;
    ~CExitRequestWatch() { Stop(); }
    CExitRequestWatch(const CExitRequestWatch&) = delete;
    CExitRequestWatch& operator=(const CExitRequestWatch&) = delete;

    bool Start(HANDLE exitEvent, hostkit_exit_callback callback, void* context);
    // Waits for the thread to end; must not be called from the callback.
    void Stop();

private:
    static DWORD WINAPI Run(void* param);

    HANDLE exitEvent = nullptr;
    hostkit_exit_callback callback = nullptr;
    void* context = nullptr;
    UniqueHandle stopEvent;
    UniqueHandle thread;
};
