#include "DownloadLimits.h"

#include "HttpDownload.h"

#include <algorithm>

WritePermit PermitWrite(const DownloadLimits& limits, bool totalKnown, uint64_t total,
                        uint64_t offset, std::optional<uint64_t> freeBytes) {
    WritePermit permit;
    if (totalKnown && total > limits.maxBytes) {
        permit.refusal = DownloadTooLarge;
        return permit;
    }
    permit.maxTotal = totalKnown ? total : std::min(limits.maxBytes, limits.maxUnannouncedBytes);
    permit.overflow = DownloadTooLarge;
    if (!freeBytes)
        return permit;

    if (*freeBytes < limits.freeSpaceFloor) {
        permit.refusal = DownloadNoSpace;
        return permit;
    }
    const uint64_t room = *freeBytes - limits.freeSpaceFloor;
    if (totalKnown) {
        if (total - std::min(offset, total) > room)
            permit.refusal = DownloadNoSpace;
        return permit;
    }
    if (permit.maxTotal - std::min(permit.maxTotal, offset) > room) {
        permit.maxTotal = offset + room;
        permit.overflow = DownloadNoSpace;
    }
    return permit;
}
