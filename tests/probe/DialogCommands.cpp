#include "DialogCommands.h"

#include "DialogControls.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace probe {
namespace {

constexpr int kControls[] = {1000, 1001, 1002, 1003, 1004, 1005, 1008, 1011, 1012, 1013, 1014};
constexpr UINT kAnswerBoundMs = 5000;

size_t PeakMemory(HWND dialog) {
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (HANDLE process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)) {
        GetProcessMemoryInfo(process, &memory, sizeof memory);
        CloseHandle(process);
    }
    return memory.PeakWorkingSetSize;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

std::string Summary(const std::vector<double>& samples, int unanswered, double seconds,
                    const char* ended) {
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) {
        return sorted.empty() ? 0.0 : sorted[static_cast<size_t>(q * (sorted.size() - 1))];
    };
    std::string text;
    char line[128];
    std::snprintf(line, sizeof line, "samples %zu\nworst_ms %.3f\nmedian_ms %.3f\np99_ms %.3f\n",
                  samples.size(), sorted.empty() ? 0.0 : sorted.back(), at(0.5), at(0.99));
    text += line;
    std::snprintf(line, sizeof line, "unanswered %d\nseconds %.3f\nended %s\n", unanswered, seconds,
                  ended);
    text += line;
    for (double s : samples) {
        std::snprintf(line, sizeof line, "sample %.3f\n", s);
        text += line;
    }
    return text;
}

} // namespace

int Describe(const std::string& out, DWORD waitMs) {
    HWND dialog = WaitForVisibleInFolder(waitMs);
    if (!dialog)
        return 1;
    // Visible means the dialog's set-up has run. A whole paint now, so that
    // what painting costs shows in the peak memory.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored);
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored);
    RECT client{};
    GetClientRect(dialog, &client);
    char line[256];
    std::snprintf(line, sizeof line, "window %d %ld %ld\n", IsWindowVisible(dialog) ? 1 : 0,
                  client.right, client.bottom);
    std::string lines = line;
    for (int id : kControls) {
        HWND control = GetDlgItem(dialog, id);
        if (!control) {
            std::snprintf(line, sizeof line, "missing %d\n", id);
            lines += line;
            continue;
        }
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        std::string text = TextOf(control, kAnswerBoundMs);
        std::snprintf(line, sizeof line, "control %d %d %d %ld %ld %ld %ld %zu\n", id,
                      IsWindowVisible(control) ? 1 : 0, IsWindowEnabled(control) ? 1 : 0, r.left,
                      r.top, r.right - r.left, r.bottom - r.top, text.size());
        lines += line;
        if (!WriteBytes(out + "." + std::to_string(id), text))
            return 2;
    }
    std::snprintf(line, sizeof line, "memory %zu\n", PeakMemory(dialog));
    lines += line;
    return WriteBytes(out, lines) ? 0 : 2;
}

int Answers(const std::string& out, DWORD periodMs, DWORD limitMs, int clickId) {
    HWND dialog = WaitForVisibleInFolder(20000);
    if (!dialog)
        return 1;
    if (clickId)
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(clickId, BN_CLICKED), 0);
    std::vector<double> samples;
    int unanswered = 0;
    const char* ended = "limit";
    LARGE_INTEGER start, before, after;
    QueryPerformanceCounter(&start);
    for (;;) {
        QueryPerformanceCounter(&before);
        if (Milliseconds(start, before) >= limitMs)
            break;
        DWORD_PTR result;
        BOOL answered =
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &result) != 0;
        QueryPerformanceCounter(&after);
        if (!IsWindow(dialog)) {
            ended = "gone";
            break;
        }
        if (answered)
            samples.push_back(Milliseconds(before, after));
        else
            ++unanswered;
        if (Shown(dialog, kFinish)) {
            ended = "finish";
            break;
        }
        double spent = Milliseconds(before, after);
        if (spent < periodMs)
            Sleep(static_cast<DWORD>(periodMs - spent));
    }
    QueryPerformanceCounter(&after);
    return WriteBytes(out, Summary(samples, unanswered, Milliseconds(start, after) / 1000.0, ended))
               ? 0
               : 2;
}

int Watch(HWND dialog, DWORD intervalMs, DWORD timeoutMs, const std::string& failedHex) {
    DWORD start = GetTickCount();
    std::string lastText = "\x01";
    int lastPosition = -2;
    auto sample = [&](bool always) {
        // A bounded wait: a dialog busy for longer shows as an unchanged sample.
        std::string text = TextOf(GetDlgItem(dialog, kStatus), 2000);
        int position = Position(dialog);
        if (always || text != lastText || position != lastPosition) {
            std::printf("sample %lu %d %s\n", static_cast<unsigned long>(GetTickCount() - start),
                        position, Hex(text).c_str());
            std::fflush(stdout);
        }
        lastText = text;
        lastPosition = position;
    };
    for (;;) {
        if (!IsWindow(dialog)) {
            std::printf("end gone\n");
            return 0;
        }
        sample(false);
        const char* decided = nullptr;
        if (Shown(dialog, kFinish))
            decided = "succeeded";
        else if (Enabled(dialog, kUpgrade) && Hex(lastText) == failedHex)
            decided = "failed";
        if (decided) {
            // The handler that decided may still be setting the texts.
            Sleep(100);
            sample(true);
            std::printf("end %s\n", decided);
            return 0;
        }
        if (GetTickCount() - start >= timeoutMs) {
            std::printf("end timeout\n");
            return 0;
        }
        Sleep(intervalMs);
    }
}

} // namespace probe
