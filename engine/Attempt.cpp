#include "Attempt.h"

#include "Messages.h"

void AttemptBook::Begin(BOOL resumeFlag) {
    resume = resumeFlag;
    ResetCounts();
    ++attemptCount;
    state = StateUpdating;
}

AttemptVerdict AttemptBook::Record(WPARAM result, LPARAM detail, size_t pendingCount) {
    if (detail == kVersionCheckFailed) {
        // No download was started: the attempt as a whole failed.
        ++failureCount;
    } else {
        if (result == 0 || result == 1)
            ++successCount;
        else
            ++failureCount;
        if (static_cast<size_t>(successCount + failureCount) != pendingCount)
            return AttemptVerdict::Running;
    }
    if (failureCount == 0) {
        state = StateSucceeded;
        return AttemptVerdict::Succeeded;
    }
    if (attemptCount > kLastRetriedAttempt) {
        state = StateFailed;
        return AttemptVerdict::Failed;
    }
    return AttemptVerdict::Retry;
}
