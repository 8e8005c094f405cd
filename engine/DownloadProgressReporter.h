// Sends one download's progress reports to its notify window: SendMessage from
// the downloading thread with lParam pointing at a DownloadProgress record on
// this thread's stack, so the record lives exactly as long as the handler runs.
// While it is sent the record is registered as live (LiveProgress.h), so that
// the window can tell it from a number some other program put in lParam.
#pragma once

#include "HttpDownload.h"

#include <atomic>
#include <cstdint>

class DownloadProgressReporter {
public:
    explicit DownloadProgressReporter(const std::atomic<bool>& cancelled) : cancelled(cancelled) {}

    // The four ints of SetNotifyWnd: intervalMs (< 0: the default), tag (-1: 0),
    // enable (0: no reports).
    void Configure(HWND window, UINT message, int intervalMs, int tag, int enable);

    // Starts a transfer: the next report goes out whatever the interval.
    void Restart() { sentAny = false; }

    // Reports totals (64-bit counts are clamped to the record's 32 bits). Unless
    // `always`, at most one report per interval; never after Cancel.
    void Report(uint64_t total, uint64_t received, bool always);

    static constexpr uint32_t kDefaultIntervalMs = 50;

private:
    const std::atomic<bool>& cancelled;
    HWND window = nullptr;
    UINT message = 0;
    uint32_t intervalMs = kDefaultIntervalMs;
    int32_t tag = 0;
    bool enabled = false;
    bool sentAny = false;
    uint64_t lastReportMs = 0;
};
