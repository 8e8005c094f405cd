// The arithmetic of the overall progress display: the 15 modules' reports are
// summed into one received/total figure, shown once the size of every module
// of the attempt is known, with a small warm-up position before that.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kProgressSlots = 15;

// The slot of a module progress message (WM_USER+102..+110, +112..+117), or -1.
int ProgressSlot(unsigned message);

// What the dialog shows after a report.
struct ProgressStep {
    enum Kind {
        Nothing, // leave the status line and the bar as they are
        WarmUp,  // move the bar to `position`; keep the status line
        Display, // status "received KB / total KB" and the bar at `position` (percent)
    } kind = Nothing;
    int position = 0;
    unsigned long receivedKb = 0;
    unsigned long totalKb = 0;
};

class ProgressBook {
public:
    ProgressBook() { Reset(); }

    // Zeroes the counters and re-arms every module's first report.
    void Reset();

    // One report of module `slot`: `total` and `received` from its record, the
    // attempt's result counts and the length of its pending-download list.
    ProgressStep Report(int slot, uint32_t total, uint32_t received, int successCount,
                        int failureCount, size_t pendingCount);

    int reportedCount = 0;
    uint32_t totalBytes = 0;
    uint32_t receivedBytes = 0;
    uint32_t moduleBytes[kProgressSlots] = {};
    bool firstReportPending[kProgressSlots] = {};

    // Process-wide: never reset, so only the first two warm-up steps of a run
    // show 1 and then 2.
    static int warmUpPosition;
};
