// A stand-in for the host application, installed as "Tevrane.exe" in a program
// directory by the end-to-end tests and the demo. It runs the updater through
// the host kit, as a real host does, and records in host.log what happens.
//
//   Tevrane.exe --mode N --url URL [options]
//     Starts the updater (the kit writes the launch block "@_ORVAK_UPDATE_@"
//     with this program's main window, makes "*_ORVAK_EXIT_*" and starts
//     Updater.exe from this folder). It ends when its exit event is set (or
//     with --exit-with-updater when the updater has ended, or after --timeout).
//   Tevrane.exe --recover / --apply-stage   (alone or before a launch)
//     What a host does at its start: recover an interrupted install, apply a
//     silent stage; each logs the kit's result.
//   Tevrane.exe            (no arguments, as the updater restarts it)
//     Records "restarted" and ends.
//
// Options:
//   --updater PATH          program to start (default: Updater.exe beside this one)
//   --log PATH              log file (default: host.log beside this one)
//   --if-running close      close an updater already at work first (default: report busy)
//   --block-file PATH       write exactly these bytes as the launch block   (*)
//   --host-window VALUE     write this window value instead of our own window
//   --no-exit-event         do not create "*_ORVAK_EXIT_*"                  (*)
//   --no-block              create no launch block at all                   (*)
//   --mode N                with N other than 1, 2 or 3                    (*)
//   --updater-exit-after MS set "*_UPDATER_EXIT_*" MS milliseconds after the start
//   --updater-exit-on PATH  set "*_UPDATER_EXIT_*" once the file PATH exists (a test
//                           makes it when the updater has reached the state it wants)
//   --exit-with-updater     end when the updater has ended
//   --narrow-rights         as an elevated host appears to the updater: both
//                           events are made here at the start, and others may
//                           only set them or wait on them; this process lets
//                           others only wait for it
//   --timeout MS            give up after MS milliseconds (default 120000), exit code 3
// (*) launches the kit never makes; the stand-in makes them itself.
//
// Log lines: "<milliseconds since start> <event> [details]".
#include "StandInDoors.h"
#include "hostkit.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

std::string programDir;
std::string logPath;
DWORD startTicks;

void Log(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (FILE* f = fopen(logPath.c_str(), "ab")) {
        fprintf(f, "%lu %s\r\n", static_cast<unsigned long>(GetTickCount() - startTicks), line);
        fclose(f);
    }
}

std::string OwnDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    std::string s(path);
    return s.substr(0, s.rfind('\\') + 1);
}

StandInOptions ParseOptions() {
    StandInOptions o;
    o.updater = programDir + "Updater.exe";
    for (int i = 1; i < __argc; ++i) {
        std::string a = __argv[i];
        auto next = [&]() -> std::string { return i + 1 < __argc ? __argv[++i] : ""; };
        if (a == "--mode")
            o.mode = atoi(next().c_str());
        else if (a == "--url")
            o.url = next();
        else if (a == "--updater")
            o.updater = next();
        else if (a == "--log")
            logPath = next();
        else if (a == "--block-file")
            o.blockFile = next();
        else if (a == "--host-window")
            o.haveWindowValue = true, o.windowValue = strtoul(next().c_str(), nullptr, 0);
        else if (a == "--no-exit-event")
            o.createExitEvent = false;
        else if (a == "--no-block")
            o.noBlock = true;
        else if (a == "--updater-exit-after")
            o.updaterExitAfter = atol(next().c_str());
        else if (a == "--updater-exit-on")
            o.updaterExitOn = next();
        else if (a == "--exit-with-updater")
            o.exitWithUpdater = true;
        else if (a == "--narrow-rights")
            o.narrowRights = true;
        else if (a == "--timeout")
            o.timeout = static_cast<DWORD>(strtoul(next().c_str(), nullptr, 10));
        else if (a == "--apply-stage")
            o.applyStage = true;
        else if (a == "--recover")
            o.recover = true;
        else if (a == "--if-running")
            o.closeIfRunning = next() == "close";
    }
    return o;
}

void StartOfHost(const StandInOptions& o) {
    if (o.recover)
        Log("recover result=%s", hostkit_result_name(hostkit_recover(nullptr)));
    if (o.applyStage) {
        hostkit_stage_report report{sizeof report, 0, 0, {}};
        hostkit_result r = hostkit_apply_stage(nullptr, &report);
        Log("stage result=%s files=%d hashed=%d reason=%s", hostkit_result_name(r), report.files,
            report.hashed, report.reason);
    }
}

// What the loop waits on and what it may set.
struct Running {
    HANDLE process = nullptr;
    HANDLE exitEvent = nullptr;
    hostkit_session* kit = nullptr;
    UniqueHandle updaterExit; // made here when the kit is not used
};

bool LaunchThroughKit(const StandInOptions& o, uint32_t window, Running* run) {
    if (hostkit_result r = hostkit_open(&run->kit); r != HOSTKIT_OK) {
        Log("error kit-open %s %lu", hostkit_result_name(r), GetLastError());
        return false;
    }
    uint32_t ifRunning = o.closeIfRunning ? HOSTKIT_IF_RUNNING_CLOSE : HOSTKIT_IF_RUNNING_REPORT;
    hostkit_launch launch{sizeof launch, o.mode, window,           o.url.c_str(),
                          ifRunning,     0,      o.updater.c_str()};
    if (hostkit_result r = hostkit_start(run->kit, &launch); r != HOSTKIT_OK) {
        DWORD error = GetLastError();
        if (r == HOSTKIT_NO_UPDATER)
            Log("error cannot-start-updater %s %lu", hostkit_result_name(r), error);
        else
            Log("error start-result %s", hostkit_result_name(r));
        return false;
    }
    run->process = hostkit_updater_process(run->kit);
    run->exitEvent = hostkit_exit_event(run->kit);
    return true;
}

// Logs each top-level window of the updater that becomes visible.
struct WindowWatch {
    DWORD processId;
    bool seen;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
    auto* watch = reinterpret_cast<WindowWatch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == watch->processId && IsWindowVisible(window)) {
        char title[256] = {};
        GetWindowTextA(window, title, sizeof title - 1);
        Log("updater-window-visible title=%s", title);
        watch->seen = true;
        return FALSE;
    }
    return TRUE;
}

bool TimeToCloseUpdater(const StandInOptions& o, DWORD elapsed) {
    if (o.updaterExitAfter >= 0 && elapsed >= static_cast<DWORD>(o.updaterExitAfter))
        return true;
    return !o.updaterExitOn.empty() &&
           GetFileAttributesA(o.updaterExitOn.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetUpdaterExit(Running& run) {
    if (run.kit) {
        hostkit_close_updater(run.kit, 0);
        return;
    }
    if (!run.updaterExit)
        run.updaterExit.Reset(CreateEventA(nullptr, TRUE, FALSE, "*_UPDATER_EXIT_*"));
    SetEvent(run.updaterExit.Get());
}

int WaitLoop(const StandInOptions& o, Running& run) {
    WindowWatch watch{GetProcessId(run.process), false};
    bool updaterRunning = true, updaterExitSet = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - startTicks;
        if (elapsed >= o.timeout) {
            Log("timeout");
            return 3;
        }
        if (!updaterExitSet && TimeToCloseUpdater(o, elapsed)) {
            SetUpdaterExit(run);
            updaterExitSet = true;
            Log("updater-exit-event-set");
        }
        HANDLE handles[2] = {run.process, run.exitEvent};
        DWORD count = updaterRunning ? (run.exitEvent ? 2 : 1) : (run.exitEvent ? 1 : 0);
        HANDLE* waitOn = updaterRunning ? handles : handles + 1;
        DWORD r =
            count ? WaitForMultipleObjects(count, waitOn, FALSE, 20) : (Sleep(20), WAIT_TIMEOUT);
        if (r == WAIT_TIMEOUT) {
            if (updaterRunning && !watch.seen)
                EnumWindows(&CheckWindow, reinterpret_cast<LPARAM>(&watch));
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            continue;
        }
        if (waitOn[r - WAIT_OBJECT_0] != run.process) {
            Log("exit-event-set");
            return 0;
        }
        DWORD code = 0;
        GetExitCodeProcess(run.process, &code);
        Log("updater-exited code=%lu", static_cast<unsigned long>(code));
        updaterRunning = false;
        if (o.exitWithUpdater)
            return 0;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    startTicks = GetTickCount();
    programDir = OwnDirectory();
    logPath = programDir + "host.log";
    StandInOptions o = ParseOptions();
    if (__argc <= 1) {
        char cwd[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH - 1, cwd);
        Log("restarted cwd=%s", cwd);
        return 0;
    }
    StartOfHost(o);
    bool launch =
        o.mode != 0 || !o.url.empty() || !o.blockFile.empty() || o.noBlock || !o.createExitEvent;
    if (!launch)
        return 0;

    HWND window = CreateWindowExA(0, "STATIC", "Tevrane host stand-in", WS_OVERLAPPED, 0, 0, 100,
                                  100, nullptr, nullptr, instance, nullptr);
    uint32_t blockWindow = o.haveWindowValue
                               ? static_cast<uint32_t>(o.windowValue)
                               : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    // Held until the host ends: made at the start with --narrow-rights.
    UniqueHandle narrowHostExit, narrowUpdaterExit;
    if (o.narrowRights && !NarrowRights(&narrowHostExit, &narrowUpdaterExit)) {
        Log("error cannot-narrow-rights %lu", GetLastError());
        return 2;
    }
    Running run;
    RawLaunch raw;
    bool rawLaunch = NeedsRawLaunch(o);
    if (rawLaunch) {
        if (!LaunchRaw(o, blockWindow, programDir, &raw, &Log))
            return 2;
        run.process = raw.process.Get();
        run.exitEvent = raw.exitEvent.Get();
    } else if (!LaunchThroughKit(o, blockWindow, &run)) {
        return 2;
    }
    Log("start mode=%d url=%s window=0x%lx block=%zu exit-event=%d kit=%d", o.mode, o.url.c_str(),
        static_cast<unsigned long>(blockWindow), rawLaunch ? raw.blockSize : 8 + o.url.size() + 1,
        run.exitEvent ? 1 : 0, rawLaunch ? 0 : 1);
    Log("updater-started pid=%lu", GetProcessId(run.process));
    int result = WaitLoop(o, run);
    Log("host-exit");
    DestroyWindow(window);
    if (run.kit)
        hostkit_release(run.kit);
    return result;
}
