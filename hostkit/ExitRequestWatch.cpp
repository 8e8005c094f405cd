#include "ExitRequestWatch.h"

bool CExitRequestWatch::Start(HANDLE event, hostkit_exit_callback call, void* param) {
    Stop();
    exitEvent = event;
    callback = call;
    context = param;
    stopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent)
        return false;
    thread.Reset(CreateThread(nullptr, 0, &CExitRequestWatch::Run, this, 0, nullptr));
    return static_cast<bool>(thread);
}

void CExitRequestWatch::Stop() {
    if (thread) {
        SetEvent(stopEvent.Get());
        if (GetThreadId(thread.Get()) != GetCurrentThreadId())
            WaitForSingleObject(thread.Get(), INFINITE);
    }
    thread.Reset();
    stopEvent.Reset();
}

DWORD WINAPI CExitRequestWatch::Run(void* param) {
    auto* watch = static_cast<CExitRequestWatch*>(param);
    HANDLE handles[2] = {watch->stopEvent.Get(), watch->exitEvent};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        watch->callback(watch->context);
    return 0;
}
