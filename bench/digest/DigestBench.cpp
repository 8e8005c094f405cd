// Times ComputeFileDigest on one file inside this process: digest-bench FILE [RUNS]
// Prints the digest, then one line per run with the milliseconds it took, then
// the median. The first run reads the file as a fresh process would; the file is
// expected to be in the page cache already (the caller reads it once before).
//
//   digest-bench --each FILE...
// Digests every file once, one after another as the version check does, and
// prints "total MS", the time of all of them together.
#include "engine/Digest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

int DigestEach(int count, char** paths) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (ComputeFileDigest(paths[i], kDigestKey).empty()) {
            std::fprintf(stderr, "cannot digest %s\n", paths[i]);
            return 1;
        }
    std::printf("total %.2f\n", MsSince(start));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--each")
        return DigestEach(argc - 2, argv + 2);
    if (argc < 2) {
        std::fprintf(stderr, "usage: digest-bench FILE [RUNS] | --each FILE...\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<double> times;
    std::string digest;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        digest = ComputeFileDigest(argv[1], kDigestKey);
        times.push_back(MsSince(start));
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
