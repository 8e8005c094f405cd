// The bookkeeping of update attempts: how many ran, how the current one's
// downloads ended, and what follows when the last of them has reported.
#pragma once

#include <windows.h>

#include <cstddef>

enum UpdateState {
    StateOffering = 0,  // the update is offered; nothing has started
    StateUpdating = 1,  // an attempt runs (version check, downloads, automatic retries)
    StateFailed = 2,    // the last attempt failed and no automatic retry was left
    StateSucceeded = 3, // every module of the last attempt arrived
};

// What OnDownloadDone leads to.
enum class AttemptVerdict {
    Running,   // other downloads of the attempt are still out
    Succeeded, // every download of the attempt ended well
    Retry,     // some failed; start an automatic retry (resume 1)
    Failed,    // some failed and the automatic retries are used up
};

// Automatic retries happen while attemptCount is at most this, so the first
// Upgrade of a run gets four attempts in all.
constexpr int kLastRetriedAttempt = 3;

struct AttemptBook {
    int attemptCount = 0; // attempts started in this run; never lowered
    int successCount = 0; // downloads of this attempt that ended with 0 or 1
    int failureCount = 0; // downloads of this attempt that ended otherwise
    BOOL resume = FALSE;  // 1 for an automatic retry: partial files are resumed
    int state = StateOffering;

    // Zeroes the per-attempt counters.
    void ResetCounts() { successCount = failureCount = 0; }
    // A new attempt with the given resume flag.
    void Begin(BOOL resumeFlag);
    // Counts one completion message; `pendingCount` is the length of the
    // attempt's pending-download list. Sets `state` when the attempt is decided.
    AttemptVerdict Record(WPARAM result, LPARAM detail, size_t pendingCount);
};
