#include "TrickleWatch.h"

TrickleWatch::TrickleWatch(uint64_t window, uint64_t minimum, uint64_t start)
    : windowMs(window), minBytes(minimum), startMs(start) {}

void TrickleWatch::Add(uint64_t bytes, uint64_t nowMs) {
    if (bytes == 0 || windowMs == 0 || minBytes == 0)
        return;
    received += bytes;
    recent.push_back({nowMs, received});
    if (received < minBytes)
        return;
    // An arrival that ends at or before byte received-min brings none of the
    // latest `minBytes` bytes, now or later.
    while (recent.front().upTo <= received - minBytes)
        recent.pop_front();
}

uint64_t TrickleWatch::Verdict() const {
    if (windowMs == 0 || minBytes == 0)
        return UINT64_MAX;
    // The window (t - window, t] holds the minimum as long as the arrival that
    // brought the oldest of the latest `minBytes` bytes lies inside it.
    const uint64_t from = received < minBytes ? startMs : recent.front().ms;
    return from > UINT64_MAX - windowMs ? UINT64_MAX : from + windowMs;
}

uint64_t TrickleWatch::MsLeft(uint64_t nowMs) const {
    const uint64_t verdict = Verdict();
    if (verdict == UINT64_MAX)
        return UINT64_MAX;
    return verdict > nowMs ? verdict - nowMs : 0;
}
