#include "Thread.h"

#include <process.h>

namespace {
struct Start {
    AFX_THREADPROC proc;
    void* param;
};

unsigned __stdcall Trampoline(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    return start.proc(start.param);
}
} // namespace

UniqueHandle AfxBeginThread(AFX_THREADPROC proc, void* param) {
    auto* start = new Start{proc, param};
    uintptr_t h = _beginthreadex(nullptr, 0, &Trampoline, start, 0, nullptr);
    if (h == 0) {
        delete start;
        return UniqueHandle();
    }
    return UniqueHandle(reinterpret_cast<HANDLE>(h));
}

bool WaitAllDispatchingSent(const HANDLE* handles, size_t count, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (size_t i = 0; i < count;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE  ? INFINITE
                     : elapsed >= timeoutMs ? 0
                                            : timeoutMs - elapsed;
        DWORD r = MsgWaitForMultipleObjects(1, &handles[i], FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            ++i;
        } else if (r == WAIT_OBJECT_0 + 1) {
            // Peeking delivers the pending sent messages; nothing is removed.
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            return false;
        }
    }
    return true;
}
