#include "ExitWatch.h"

#include "Install.h"
#include "framework/Thread.h"

void CExitWatch::Start(HWND target) {
    Stop();
    window = target;
    exitEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, kUpdaterExitEvent));
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
