// A look at, and a hand on, the running update dialog from another process of
// the same Wine session, for the end-to-end suites. It works on the dialog only
// through window messages, as any other program could, and works headless (the
// dialog is real, the display driver may be the null one).
//
// The dialog is the one given as HWND (decimal), or else the one found by
// folder (see FindInFolder).
//
//   DialogProbe find PID TIMEOUT_MS
//       Waits until process PID (a Windows process id) shows its update dialog
//       with Upgrade enabled; prints "window HWND". Exit 1 on time-out.
//   DialogProbe describe OUT [WAIT_MS]
//       Waits (default 20000 ms) for the dialog to be visible, makes it paint
//       itself whole, then writes to OUT one line per control: "control ID
//       VISIBLE ENABLED X Y W H TEXTLEN" (dialog client pixels), "window
//       VISIBLE W H" and "memory PEAK" (peak working set of its process, bytes).
//       OUT.ID holds control ID's text (code page 936). Exit 1: no dialog.
//   DialogProbe click [HWND] ID     posts a click of control ID
//   DialogProbe close [HWND]        posts WM_CLOSE (it ends like Cancel); exit 3: no dialog
//   DialogProbe text HWND ID        prints "text HEX": control ID's text
//   DialogProbe watch HWND INTERVAL_MS TIMEOUT_MS FAILED_HEX
//       Samples the dialog every INTERVAL_MS until the attempt is decided: the
//       Finish button shows ("end succeeded"), or Upgrade is enabled with the
//       status text FAILED_HEX ("end failed"); or the window goes ("end gone"),
//       or TIMEOUT_MS passes ("end timeout"). Prints "sample MS POSITION
//       STATUS-HEX" whenever the progress bar or the status text (control 1011)
//       has changed, and the decided state once more after it has settled.
//   DialogProbe answers OUT PERIOD_MS LIMIT_MS [--click ID]
//       Waits for the dialog, optionally clicks control ID, then every
//       PERIOD_MS times the answer to WM_NULL (5000 ms bound) until Finish
//       shows, the dialog is gone, or LIMIT_MS have passed. OUT gets "samples
//       N", "worst_ms", "median_ms", "p99_ms", "unanswered N", "seconds S",
//       "ended REASON" and one "sample MS" line per probe.
#include "DialogCommands.h"
#include "DialogControls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND ParseWindow(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 10)));
}

DWORD Number(const char* text) {
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

int Find(DWORD processId, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = probe::FindOfProcess(processId);
        if (found && IsWindowVisible(found) && probe::Shown(found, probe::kUpgrade) &&
            probe::Enabled(found, probe::kUpgrade)) {
            std::printf("window %llu\n",
                        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(found)));
            return 0;
        }
        if (GetTickCount() - start >= timeoutMs)
            return 1;
        Sleep(20);
    }
}

int Click(HWND dialog, int id) {
    return dialog && probe::PostClick(dialog, id) ? 0 : 1;
}

// Exit 3 when no dialog was found, so that a run's notes tell that apart from
// a post that failed (1) or a probe that did not start at all.
int Close(HWND dialog) {
    if (!dialog)
        return 3;
    return PostMessageA(dialog, WM_CLOSE, 0, 0) ? 0 : 1;
}

int Text(HWND dialog, int id) {
    std::printf("text %s\n", probe::Hex(probe::TextOf(GetDlgItem(dialog, id), 2000)).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "find" && argc >= 4)
        return Find(Number(argv[2]), Number(argv[3]));
    if (command == "describe" && argc >= 3)
        return probe::Describe(argv[2], argc >= 4 ? Number(argv[3]) : 20000);
    if (command == "click" && argc >= 4)
        return Click(ParseWindow(argv[2]), std::atoi(argv[3]));
    if (command == "click" && argc == 3)
        return Click(probe::FindInFolder(), std::atoi(argv[2]));
    if (command == "close")
        return Close(argc >= 3 ? ParseWindow(argv[2]) : probe::FindInFolder());
    if (command == "text" && argc >= 4)
        return Text(ParseWindow(argv[2]), std::atoi(argv[3]));
    if (command == "watch" && argc >= 6)
        return probe::Watch(ParseWindow(argv[2]), Number(argv[3]), Number(argv[4]), argv[5]);
    if (command == "answers" && argc >= 5) {
        int click = argc >= 7 && std::string(argv[5]) == "--click" ? std::atoi(argv[6]) : 0;
        return probe::Answers(argv[2], Number(argv[3]), Number(argv[4]), click);
    }
    std::fprintf(stderr, "usage: DialogProbe find PID MS | describe OUT [MS] | click [HWND] ID | "
                         "close [HWND] | text HWND ID | watch HWND MS MS HEX | "
                         "answers OUT MS MS [--click ID]\n");
    return 2;
}
