// The progress records that transfers of this process are sending right now.
//
// A progress report carries in lParam the address of a record on the sending
// thread's stack. Any program on the desktop can post or send the same message
// with any number in its place, so a window reads a record only through
// ReadLiveProgress: it copies the record when, and only when, a transfer holds
// it registered for that window and message. The sender registers the record
// before SendMessage and removes it after SendMessage has returned, and the copy
// is made under the same lock, so a record is never read after its sender has
// moved on, whichever thread runs first.
#pragma once

#include "HttpDownload.h"

#include <windows.h>

// Registers `record` as being sent to `window` with `message` for its lifetime.
class ScopedProgressRecord {
public:
    ScopedProgressRecord(HWND window, UINT message, const DownloadProgress* record);
    ~ScopedProgressRecord();
    ScopedProgressRecord(const ScopedProgressRecord&) = delete;
    ScopedProgressRecord& operator=(const ScopedProgressRecord&) = delete;

private:
    HWND window;
    UINT message;
    const DownloadProgress* record;
};

// Copies the record whose address is `lParam` into `out` when a transfer is
// sending it to `window` with `message` right now. False otherwise, and then
// nothing at that address has been read.
bool ReadLiveProgress(HWND window, UINT message, LPARAM lParam, DownloadProgress* out);
