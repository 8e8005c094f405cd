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
}  // namespace

UniqueHandle AfxBeginThread(AFX_THREADPROC proc, void* param) {
    auto* start = new Start{proc, param};
    uintptr_t h = _beginthreadex(nullptr, 0, &Trampoline, start, 0, nullptr);
    if (h == 0) {
        delete start;
        return UniqueHandle();
    }
    return UniqueHandle(reinterpret_cast<HANDLE>(h));
}
