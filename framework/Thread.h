// Worker threads. The thread procedure runs on a new thread with the C runtime
// initialised for it; the returned handle may be kept to wait for the thread or
// dropped (the thread runs on).
#pragma once

#include "Handles.h"

using AFX_THREADPROC = UINT (*)(void* param);

UniqueHandle AfxBeginThread(AFX_THREADPROC proc, void* param);
