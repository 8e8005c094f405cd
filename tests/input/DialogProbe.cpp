// A look at the running update dialog from another process of the same Wine
// session, for the end-to-end suites. It finds the top-level window titled
// "Updater" of a program in the folder named by the environment variable
// DIALOG_PROBE_FOLDER, and works on it only through window messages, as any
// other program could: it changes nothing in the updater.
//
//   DialogProbe describe OUT [WAIT_MS]
//       Waits (default 20000 ms) for the dialog to be visible, then writes to OUT
//       one line per control: "control ID VISIBLE ENABLED X Y W H TEXTLEN", the
//       position in dialog client pixels, and "window VISIBLE W H". The texts
//       follow as files beside OUT: OUT.ID holds control ID's text as the
//       control gives it (WM_GETTEXT, code page 936). Before that the dialog is
//       made to paint itself whole, and "memory PEAK" gives the peak working
//       set of its process in bytes afterwards. Exit code 0, or 1 when no
//       dialog became visible.
//   DialogProbe click ID    posts a click of control ID (WM_COMMAND, BN_CLICKED)
//   DialogProbe close       posts WM_CLOSE
//   DialogProbe answers OUT PERIOD_MS LIMIT_MS [--click ID]
//       Waits for the dialog, optionally clicks control ID, then every PERIOD_MS
//       sends WM_NULL with SendMessageTimeout (5000 ms bound) and times the
//       answer, until the dialog shows Finish (control 1002 visible), is gone,
//       or LIMIT_MS have passed. OUT gets "samples N", "worst_ms", "median_ms",
//       "p99_ms", "unanswered N", "seconds S", "ended REASON" and one
//       "sample MS" line per probe.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kControls[] = {1000, 1001, 1002, 1003, 1004, 1005, 1008, 1011, 1012, 1013, 1014};
constexpr int kFinishButton = 1002;
constexpr UINT kAnswerBoundMs = 5000;

// The dialog is the top-level window titled "Updater" of a program in the
// folder named by DIALOG_PROBE_FOLDER (any program without it): test programs
// running beside the updater make windows of that title too.
struct DialogSearch {
    std::string folder;
    HWND found = nullptr;
};

bool RunsFrom(DWORD processId, const std::string& folder) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH - 1;
    bool inside = QueryFullProcessImageNameA(process, 0, image, &size) && size > folder.size() &&
                  _strnicmp(image, folder.c_str(), folder.size()) == 0;
    CloseHandle(process);
    return inside;
}

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::string(title) != "Updater")
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!search->folder.empty() && !RunsFrom(processId, search->folder))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindDialog() {
    DialogSearch search;
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("DIALOG_PROBE_FOLDER", folder, MAX_PATH - 1))
        search.folder = folder;
    EnumWindows(&CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForVisibleDialog(DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = FindDialog();
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        if (GetTickCount() - start >= waitMs)
            return nullptr;
        Sleep(20);
    }
}

// The control's text in code page 936, however long. Between processes Wine
// answers an ANSI WM_GETTEXTLENGTH of a rich-edit control with 0 once the text
// holds double-byte characters, while the Unicode length is right; the buffer
// is sized from that (at most two bytes per UTF-16 unit).
std::string TextOf(HWND control) {
    DWORD_PTR ansiLength = 0, wideLength = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerBoundMs,
                             &ansiLength) ||
        !SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerBoundMs,
                             &wideLength))
        return std::string();
    size_t room = std::max<size_t>(ansiLength, 2 * wideLength) + 1;
    std::string text(room, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, room, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_NORMAL, kAnswerBoundMs, &copied))
        return std::string();
    text.resize(std::min<size_t>(copied, room - 1));
    return text;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0;
}

int Describe(const std::string& out, DWORD waitMs) {
    HWND dialog = WaitForVisibleDialog(waitMs);
    if (!dialog)
        return 1;
    // Visible means the dialog's set-up has run. A whole paint now, so that
    // what painting costs shows in the peak memory.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored);
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored);
    std::string lines;
    RECT client{};
    GetClientRect(dialog, &client);
    char line[256];
    std::snprintf(line, sizeof line, "window %d %ld %ld\n", IsWindowVisible(dialog) ? 1 : 0,
                  client.right, client.bottom);
    lines += line;
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
        std::string text = TextOf(control);
        std::snprintf(line, sizeof line, "control %d %d %d %ld %ld %ld %ld %zu\n", id,
                      IsWindowVisible(control) ? 1 : 0, IsWindowEnabled(control) ? 1 : 0, r.left,
                      r.top, r.right - r.left, r.bottom - r.top, text.size());
        lines += line;
        if (!WriteBytes(out + "." + std::to_string(id), text))
            return 2;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (HANDLE process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)) {
        GetProcessMemoryInfo(process, &memory, sizeof memory);
        CloseHandle(process);
    }
    std::snprintf(line, sizeof line, "memory %zu\n",
                  static_cast<size_t>(memory.PeakWorkingSetSize));
    lines += line;
    return WriteBytes(out, lines) ? 0 : 2;
}

int Post(UINT message, WPARAM wParam) {
    HWND dialog = FindDialog();
    if (!dialog)
        return 1;
    return PostMessageA(dialog, message, wParam, 0) ? 0 : 1;
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

int Answers(const std::string& out, DWORD periodMs, DWORD limitMs, int clickId) {
    HWND dialog = WaitForVisibleDialog(20000);
    if (!dialog)
        return 1;
    HWND finish = GetDlgItem(dialog, kFinishButton);
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
        if (finish && IsWindowVisible(finish)) {
            ended = "finish";
            break;
        }
        double spent = Milliseconds(before, after);
        if (spent < periodMs)
            Sleep(static_cast<DWORD>(periodMs - spent));
    }
    QueryPerformanceCounter(&after);
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
    std::snprintf(line, sizeof line, "unanswered %d\nseconds %.3f\nended %s\n", unanswered,
                  Milliseconds(start, after) / 1000.0, ended);
    text += line;
    for (double s : samples) {
        std::snprintf(line, sizeof line, "sample %.3f\n", s);
        text += line;
    }
    return WriteBytes(out, text) ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "describe" && argc >= 3)
        return Describe(argv[2], argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 20000);
    if (command == "click" && argc >= 3)
        return Post(WM_COMMAND, MAKEWPARAM(std::atoi(argv[2]), BN_CLICKED));
    if (command == "close")
        return Post(WM_CLOSE, 0);
    if (command == "answers" && argc >= 5) {
        int click = argc >= 7 && std::string(argv[5]) == "--click" ? std::atoi(argv[6]) : 0;
        return Answers(argv[2], std::strtoul(argv[3], nullptr, 10),
                       std::strtoul(argv[4], nullptr, 10), click);
    }
    std::fprintf(stderr, "usage: DialogProbe describe OUT [WAIT_MS] | click ID | close | "
                         "answers OUT PERIOD_MS LIMIT_MS [--click ID]\n");
    return 2;
}
