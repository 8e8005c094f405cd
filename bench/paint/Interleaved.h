// Timing of pieces of work that take turns, for the paint benchmarks.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <vector>

inline double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The medians of `runs` timings of each piece of work, after five untimed
// turns. The pieces take turns, so that a burst of load from elsewhere on the
// machine falls on all of them alike rather than on one.
inline std::vector<double> InterleavedMediansMs(int runs,
                                                const std::vector<std::function<void()>>& work) {
    for (int i = 0; i < 5; ++i)
        for (const auto& w : work)
            w();
    std::vector<std::vector<double>> times(work.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < work.size(); ++k) {
            double start = NowMs();
            work[k]();
            times[k].push_back(NowMs() - start);
        }
    }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}
