// Worker threads. The thread procedure runs on a new thread with the C runtime
// initialised for it; the returned handle may be kept to wait for the thread or
// dropped (the thread runs on).
#pragma once

#include "Handles.h"

using AFX_THREADPROC = UINT (*)(void* param);

UniqueHandle AfxBeginThread(AFX_THREADPROC proc, void* param);

// Waits until every handle is signalled or `timeoutMs` has passed, while
// delivering messages that other threads send to this thread's windows (so a
// worker blocked in SendMessage to us cannot deadlock the wait). Posted
// messages stay queued. Returns true when all handles were signalled.
bool WaitAllDispatchingSent(const HANDLE* handles, size_t count, DWORD timeoutMs);
