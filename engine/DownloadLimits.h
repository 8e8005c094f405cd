// What a server can make one transfer write: a bound on the file's size,
// chosen by the caller for the kind of file it fetches, and the room that must
// stay free on the volume. The decision is pure, so it is tested directly.
#pragma once

#include <cstdint>
#include <optional>

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kNoBound = UINT64_MAX;

struct DownloadLimits {
    uint64_t maxBytes = kNoBound;            // the whole file, whether announced or not
    uint64_t maxUnannouncedBytes = kNoBound; // a file whose size the answer does not give
    uint64_t freeSpaceFloor = 64 * kMiB;     // the volume never gets fuller than this
};

// The digest list and the change log: small text files.
constexpr DownloadLimits kListLimits{4 * kMiB, 4 * kMiB, 64 * kMiB};
// A module: any announced size that fits on the volume; without one, 512 MiB.
constexpr DownloadLimits kModuleLimits{kNoBound, 512 * kMiB, 64 * kMiB};

// How much a transfer may hold once it has its answer.
struct WritePermit {
    unsigned refusal = 0;  // a DownloadResult when nothing may be written; 0 otherwise
    uint64_t maxTotal = 0; // the local file may not grow past this
    unsigned overflow = 0; // the DownloadResult when the body goes past maxTotal
};

// `total` is the whole file's size when `totalKnown`; `offset` the bytes of it
// already in the local file (they stay); `freeBytes` what the volume has free
// for us, when that could be learnt. An announced size counts in full against
// the free space; an unannounced one may use what lies above the floor.
WritePermit PermitWrite(const DownloadLimits& limits, bool totalKnown, uint64_t total,
                        uint64_t offset, std::optional<uint64_t> freeBytes);
