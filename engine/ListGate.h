// Held shut by the version check while it is still adding to an attempt's
// pending-download list: the attempt's download workers may start their
// transfers at once, but each waits here before it reports its end, so that
// every report is counted against the complete list.
#pragma once

#include "framework/Handles.h"

class ListGate {
public:
    void Open() { SetEvent(open.Get()); }
    void Wait() const { WaitForSingleObject(open.Get(), INFINITE); }
    bool IsOpen() const { return WaitForSingleObject(open.Get(), 0) == WAIT_OBJECT_0; }

private:
    UniqueHandle open{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};
