#include "ExitWatch.h"

#include "Install.h"
#include "framework/Thread.h"

void CExitWatch::Start(HWND target) {
    Stop();
    window = target;
    // Only the right to wait: when the host has made the event first (it may run
    // elevated), opening it for more would fail and the host could not close us.
    exitEvent.Reset(
        CreateEventExA(nullptr, kUpdaterExitEvent, CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE));
    stopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread = AfxBeginThread(&UpdaterExitWatchThread, this);
}

void CExitWatch::Stop() {
    if (thread) {
        SetEvent(stopEvent.Get());
        WaitForSingleObject(thread.Get(), INFINITE);
    }
    thread.Reset();
    exitEvent.Reset();
    stopEvent.Reset();
}

UINT CExitWatch::UpdaterExitWatchThread(void* param) {
    auto* watch = static_cast<CExitWatch*>(param);
    HANDLE events[2] = {watch->exitEvent.Get(), watch->stopEvent.Get()};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0)
        PostMessageA(watch->window, WM_CLOSE, 0, 0);
    return 1;
}
