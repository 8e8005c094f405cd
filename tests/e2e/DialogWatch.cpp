// Looks at and presses the update dialog of a running updater from outside,
// as a user would, for the end-to-end fault suites. It runs in the same Wine
// session as the updater and works headless (the dialog is real, the display
// driver is the null one).
//
//   DialogWatch find PID TIMEOUT_MS
//       Waits until process PID (a Windows process id) shows its update dialog
//       with Upgrade enabled; prints "window HWND" (decimal). Exit 1 on time-out.
//   DialogWatch click HWND ID
//       Posts a button click of control ID (WM_COMMAND, BN_CLICKED) to the dialog.
//   DialogWatch text HWND ID
//       Prints "text HEX": the window text of control ID (code page 936 bytes).
//   DialogWatch close HWND
//       Posts WM_CLOSE to the dialog (it ends like Cancel, without asking).
//   DialogWatch watch HWND INTERVAL_MS TIMEOUT_MS FAILED_HEX
//       Samples the dialog every INTERVAL_MS until the attempt is decided: the
//       Finish button shows ("end succeeded"), or Upgrade is enabled with the
//       status text FAILED_HEX (the failure text in code page 936, as
//       hexadecimal bytes) ("end failed"); or the window goes ("end gone"),
//       or TIMEOUT_MS passes ("end timeout"). Prints a line
//       "sample MS POSITION STATUS-HEX" whenever the progress bar position or
//       the status text (control 1011, code page 936, as hexadecimal bytes)
//       has changed, and the decided state once more after it has settled.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kUpgrade = 1000;
constexpr int kFinish = 1002;
constexpr int kProgress = 1008;
constexpr int kStatus = 1011;

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (pid == search->processId && std::strcmp(className, "#32770") == 0 &&
        GetDlgItem(window, kStatus)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND ParseWindow(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 10)));
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

std::string ControlText(HWND dialog, int id) {
    char text[4096] = {};
    HWND control = GetDlgItem(dialog, id);
    // A bounded wait: a dialog busy for longer shows as an unchanged sample.
    DWORD_PTR length = 0;
    if (!control ||
        !SendMessageTimeoutA(control, WM_GETTEXT, sizeof text - 1, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &length))
        return std::string();
    return std::string(text, std::strlen(text));
}

int Position(HWND dialog) {
    DWORD_PTR position = 0;
    HWND bar = GetDlgItem(dialog, kProgress);
    if (!bar || !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position))
        return -1;
    return static_cast<int>(position);
}

bool Shown(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

bool Enabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

int Find(DWORD processId, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        Search search{processId, nullptr};
        EnumWindows(&CheckWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && IsWindowVisible(search.found) && Shown(search.found, kUpgrade) &&
            Enabled(search.found, kUpgrade)) {
            std::printf("window %llu\n",
                        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(search.found)));
            return 0;
        }
        if (GetTickCount() - start >= timeoutMs)
            return 1;
        Sleep(20);
    }
}

int Click(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return 1;
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
}

int Text(HWND dialog, int id) {
    std::printf("text %s\n", Hex(ControlText(dialog, id)).c_str());
    return 0;
}

int Close(HWND dialog) {
    return PostMessageA(dialog, WM_CLOSE, 0, 0) ? 0 : 1;
}

int Watch(HWND dialog, DWORD intervalMs, DWORD timeoutMs, const std::string& failedHex) {
    DWORD start = GetTickCount();
    std::string lastText = "\x01";
    int lastPosition = -2;
    auto sample = [&](bool always) {
        std::string text = ControlText(dialog, kStatus);
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

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "find") == 0)
        return Find(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)),
                    static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    if (argc >= 4 && std::strcmp(argv[1], "click") == 0)
        return Click(ParseWindow(argv[2]), std::atoi(argv[3]));
    if (argc >= 4 && std::strcmp(argv[1], "text") == 0)
        return Text(ParseWindow(argv[2]), std::atoi(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "close") == 0)
        return Close(ParseWindow(argv[2]));
    if (argc >= 6 && std::strcmp(argv[1], "watch") == 0)
        return Watch(ParseWindow(argv[2]), static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)),
                     static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)), argv[5]);
    std::fprintf(stderr, "usage: DialogWatch find PID MS | click HWND ID | text HWND ID | close "
                         "HWND | watch HWND MS MS HEX\n");
    return 2;
}
