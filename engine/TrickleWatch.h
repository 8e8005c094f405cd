// Tells a trickling transfer from a slow but living one: a body that brings
// fewer than `minBytes` in any `windowMs` has effectively stopped, even when
// each gap between its bytes stays below the receive time-out. Time is passed
// in, so the decision is tested directly.
#pragma once

#include <cstdint>
#include <deque>

class TrickleWatch {
public:
    // A zero window or zero minimum never finds a transfer too slow.
    TrickleWatch(uint64_t windowMs, uint64_t minBytes, uint64_t startMs);

    // `bytes` arrived at `nowMs` (times never go back).
    void Add(uint64_t bytes, uint64_t nowMs);

    // Whether fewer than the minimum arrived in the window that ends now.
    bool TooSlow(uint64_t nowMs) const { return nowMs >= Verdict(); }

    // How long the transfer may wait from `nowMs` with no further bytes before
    // it is too slow (0: already; UINT64_MAX: never).
    uint64_t MsLeft(uint64_t nowMs) const;

private:
    // The time from which the window would hold too few bytes, if none came.
    uint64_t Verdict() const;

    struct Arrival {
        uint64_t ms;
        uint64_t upTo; // bytes received in all once this arrival was in
    };
    uint64_t windowMs;
    uint64_t minBytes;
    uint64_t startMs;
    uint64_t received = 0;
    // Only the arrivals that bring the latest `minBytes` bytes: older ones can
    // no longer decide anything. So at most `minBytes` entries.
    std::deque<Arrival> recent;
};
