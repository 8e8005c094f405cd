#include "DownloadProgressReporter.h"

#include "LiveProgress.h"

#include <chrono>

namespace {
// Milliseconds of a fine clock: the system tick may advance in 15.6 ms steps,
// which would let reports come closer together than the interval.
uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t Clamp32(uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}
} // namespace

void DownloadProgressReporter::Configure(HWND w, UINT m, int interval, int t, int enable) {
    window = w;
    message = m;
    intervalMs = interval < 0 ? kDefaultIntervalMs : static_cast<uint32_t>(interval);
    tag = t == -1 ? 0 : t;
    enabled = enable != 0 && w != nullptr;
}

void DownloadProgressReporter::Report(uint64_t total, uint64_t received, bool always) {
    if (!enabled || cancelled.load())
        return;
    uint64_t now = NowMs();
    if (!always && sentAny && now - lastReportMs < intervalMs)
        return;
    sentAny = true;
    lastReportMs = now;
    DownloadProgress record{tag, Clamp32(total), Clamp32(received)};
    ScopedProgressRecord live(window, message, &record);
    SendMessageA(window, message, 0, reinterpret_cast<LPARAM>(&record));
}
