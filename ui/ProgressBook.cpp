#include "ProgressBook.h"

int ProgressBook::warmUpPosition = 0;

int ProgressSlot(unsigned message) {
    constexpr unsigned kUser = 0x400;
    if (message >= kUser + 102 && message <= kUser + 110)
        return static_cast<int>(message - (kUser + 102));
    if (message >= kUser + 112 && message <= kUser + 117)
        return static_cast<int>(message - (kUser + 112)) + 9;
    return -1;
}

void ProgressBook::Reset() {
    reportedCount = 0;
    totalBytes = 0;
    receivedBytes = 0;
    for (int i = 0; i < kProgressSlots; ++i) {
        moduleBytes[i] = 0;
        firstReportPending[i] = true;
    }
}

ProgressStep ProgressBook::Report(int slot, uint32_t total, uint32_t received, int successCount,
                                  int failureCount, size_t pendingCount) {
    ProgressStep step;
    if (slot < 0 || slot >= kProgressSlots)
        return step;
    moduleBytes[slot] = received;
    if (total == 0)
        return step;
    if (firstReportPending[slot]) {
        ++reportedCount;
        totalBytes += total;
        firstReportPending[slot] = false;
    }
    receivedBytes = 0;
    for (uint32_t bytes : moduleBytes)
        receivedBytes += bytes;

    auto n = static_cast<long long>(pendingCount);
    bool sizesKnown = reportedCount + failureCount == n || successCount + failureCount == n;
    if (!sizesKnown) {
        if (failureCount != 0)
            return step;
        if (++warmUpPosition >= 2)
            warmUpPosition = 2;
        step.kind = ProgressStep::WarmUp;
        step.position = warmUpPosition;
        return step;
    }
    step.kind = ProgressStep::Display;
    // 64-bit so that no pair of 32-bit counts overflows; a total that wrapped to
    // 0 shows 0 rather than dividing by zero.
    uint64_t percent = totalBytes ? uint64_t{receivedBytes} * 100 / totalBytes : 0;
    step.position = static_cast<int>(percent);
    step.receivedKb = receivedBytes >> 10;
    step.totalKb = totalBytes >> 10;
    return step;
}
