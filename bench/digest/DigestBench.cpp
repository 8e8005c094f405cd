// Times ComputeFileDigest on one file inside this process: digest-bench FILE [RUNS]
// Prints the digest, then one line per run with the milliseconds it took, then
// the median. The first run reads the file as a fresh process would; the file is
// expected to be in the page cache already (the caller reads it once before).
#include "engine/Digest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: digest-bench FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<double> times;
    std::string digest;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        digest = ComputeFileDigest(argv[1], kDigestKey);
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    if (digest.empty()) {
        std::fprintf(stderr, "cannot digest %s\n", argv[1]);
        return 1;
    }
    std::printf("digest %s\n", digest.c_str());
    for (double ms : times)
        std::printf("run %.2f\n", ms);
    std::sort(times.begin(), times.end());
    std::printf("median %.2f\n", times[times.size() / 2]);
    return 0;
}
