// Linked into a test build of the updater (UpdaterCounting.exe) beside the
// product's own objects: it counts the module progress reports that reach the
// windows of the main thread, where the dialog lives, and changes nothing else.
//
// A thread hook (WH_CALLWNDPROC) sees every message sent to a window of the
// thread just before that window's procedure does, including those sent from
// the download threads. At process exit the reports are written, one line
// each, "MESSAGE MICROSECONDS TOTAL RECEIVED", to the file named by the
// environment variable UPDATER_PROGRESS_LOG (nothing is written without it).
#include "engine/HttpDownload.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

constexpr UINT kFirstProgressMessage = WM_USER + 102;
constexpr UINT kLastProgressMessage = WM_USER + 117;

struct Report {
    UINT message;
    LONGLONG ticks;
    uint32_t total;
    uint32_t received;
};

class ProgressCounter {
public:
    ProgressCounter() {
        reports.reserve(1 << 16);
        QueryPerformanceFrequency(&frequency);
        hook = SetWindowsHookExA(WH_CALLWNDPROC, &Called, nullptr, GetCurrentThreadId());
    }
    ~ProgressCounter() {
        if (hook)
            UnhookWindowsHookEx(hook);
        char path[MAX_PATH] = {};
        if (!GetEnvironmentVariableA("UPDATER_PROGRESS_LOG", path, MAX_PATH - 1))
            return;
        FILE* f = std::fopen(path, "wb");
        if (!f)
            return;
        for (const Report& r : reports)
            std::fprintf(f, "%u %lld %u %u\n", r.message, r.ticks * 1000000 / frequency.QuadPart,
                         r.total, r.received);
        std::fclose(f);
    }

private:
    static LRESULT CALLBACK Called(int code, WPARAM wParam, LPARAM lParam);

    HHOOK hook = nullptr;
    LARGE_INTEGER frequency{};
    std::vector<Report> reports;

    friend ProgressCounter& Counter();
};

ProgressCounter& Counter() {
    static ProgressCounter counter;
    return counter;
}

LRESULT CALLBACK ProgressCounter::Called(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message >= kFirstProgressMessage &&
        call->message <= kLastProgressMessage && call->lParam) {
        const auto* record = reinterpret_cast<const DownloadProgress*>(call->lParam);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Counter().reports.push_back(
            Report{call->message, now.QuadPart, record->total, record->received});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installed on the main thread before WinMain runs.
const bool installed = (Counter(), true);

} // namespace
