#include "LiveProgress.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct LiveRecord {
    HWND window;
    UINT message;
    const DownloadProgress* record;
    bool operator==(const LiveRecord&) const = default;
};

// Function-local, so that reports sent while static objects are still being
// built find them ready.
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::vector<LiveRecord>& Records() {
    static std::vector<LiveRecord> records;
    return records;
}

} // namespace

ScopedProgressRecord::ScopedProgressRecord(HWND w, UINT m, const DownloadProgress* r)
    : window(w), message(m), record(r) {
    std::lock_guard guard(Lock());
    Records().push_back(LiveRecord{window, message, record});
}

ScopedProgressRecord::~ScopedProgressRecord() {
    std::lock_guard guard(Lock());
    std::vector<LiveRecord>& records = Records();
    auto found = std::find(records.begin(), records.end(), LiveRecord{window, message, record});
    if (found != records.end())
        records.erase(found);
}

bool ReadLiveProgress(HWND window, UINT message, LPARAM lParam, DownloadProgress* out) {
    const auto* record = reinterpret_cast<const DownloadProgress*>(lParam);
    std::lock_guard guard(Lock());
    const std::vector<LiveRecord>& records = Records();
    if (!record || std::find(records.begin(), records.end(), LiveRecord{window, message, record}) ==
                       records.end())
        return false;
    *out = *record;
    return true;
}
