// A stand-in for the host application, installed as "Tevrane.exe" in a program
// directory by the end-to-end tests and the demo.
//
//   Tevrane.exe --mode N --url URL [options]
//     Writes the launch block (mode, this program's main window, URL) into the
//     mapping "@_ORVAK_UPDATE_@", creates the event "*_ORVAK_EXIT_*", starts
//     Updater.exe from its own folder and records in host.log what happens. It
//     ends when its exit event is set (or with --exit-with-updater when the
//     updater has ended, or after --timeout).
//   Tevrane.exe            (no arguments, as the updater restarts it)
//     Records "restarted" and ends.
//
// Options:
//   --updater PATH          program to start (default: Updater.exe beside this one)
//   --log PATH              log file (default: host.log beside this one)
//   --block-file PATH       write exactly these bytes as the launch block
//   --host-window VALUE     write this window value instead of our own window
//   --no-exit-event         do not create "*_ORVAK_EXIT_*"
//   --no-block              create no launch block at all
//   --updater-exit-after MS set "*_UPDATER_EXIT_*" MS milliseconds after the start
//   --exit-with-updater     end when the updater has ended
//   --narrow-rights         as an elevated host appears to the updater: both
//                           events are made here at the start, and others may
//                           only set them or wait on them; this process lets
//                           others only wait for it
//   --timeout MS            give up after MS milliseconds (default 120000), exit code 3
//
// Log lines: "<milliseconds since start> <event> [details]".
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kMappingName = "@_ORVAK_UPDATE_@";
constexpr const char* kHostExitEvent = "*_ORVAK_EXIT_*";
constexpr const char* kUpdaterExitEvent = "*_UPDATER_EXIT_*";

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

bool ReadFileBytes(const std::string& path, std::vector<char>* bytes) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    fclose(f);
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

// A security descriptor that grants everyone exactly `rights` (SDDL, hexadecimal).
PSECURITY_DESCRIPTOR GrantEveryone(const char* rights) {
    std::string sddl = std::string("D:(A;;") + rights + ";;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    return descriptor;
}

// An event others may only set (EVENT_MODIFY_STATE) or wait on (SYNCHRONIZE).
HANDLE CreateNarrowEvent(const char* name) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, GrantEveryone("0x100002"), FALSE};
    HANDLE event = CreateEventA(&attributes, TRUE, FALSE, name);
    LocalFree(attributes.lpSecurityDescriptor);
    return event;
}

// This process: others may only wait for it (SYNCHRONIZE).
bool NarrowOwnProcess() {
    PSECURITY_DESCRIPTOR descriptor = GrantEveryone("0x100000");
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    bool done = descriptor && GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return done;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    startTicks = GetTickCount();
    programDir = OwnDirectory();
    logPath = programDir + "host.log";

    int mode = 0;
    std::string url, updater = programDir + "Updater.exe", blockFile;
    bool haveWindowValue = false, createExitEvent = true, exitWithUpdater = false, noBlock = false;
    bool narrowRights = false;
    unsigned long windowValue = 0;
    long updaterExitAfter = -1;
    DWORD timeout = 120000;
    bool any = __argc > 1;
    for (int i = 1; i < __argc; ++i) {
        std::string a = __argv[i];
        auto next = [&]() -> std::string { return i + 1 < __argc ? __argv[++i] : ""; };
        if (a == "--mode")
            mode = atoi(next().c_str());
        else if (a == "--url")
            url = next();
        else if (a == "--updater")
            updater = next();
        else if (a == "--log")
            logPath = next();
        else if (a == "--block-file")
            blockFile = next();
        else if (a == "--host-window")
            haveWindowValue = true, windowValue = strtoul(next().c_str(), nullptr, 0);
        else if (a == "--no-exit-event")
            createExitEvent = false;
        else if (a == "--no-block")
            noBlock = true;
        else if (a == "--updater-exit-after")
            updaterExitAfter = atol(next().c_str());
        else if (a == "--exit-with-updater")
            exitWithUpdater = true;
        else if (a == "--narrow-rights")
            narrowRights = true;
        else if (a == "--timeout")
            timeout = static_cast<DWORD>(strtoul(next().c_str(), nullptr, 10));
    }
    if (!any) {
        char cwd[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH - 1, cwd);
        Log("restarted cwd=%s", cwd);
        return 0;
    }

    HWND window = CreateWindowExA(0, "STATIC", "Tevrane host stand-in", WS_OVERLAPPED, 0, 0, 100,
                                  100, nullptr, nullptr, instance, nullptr);
    uint32_t blockWindow = haveWindowValue
                               ? static_cast<uint32_t>(windowValue)
                               : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));

    std::vector<char> block;
    if (!blockFile.empty()) {
        if (!ReadFileBytes(blockFile, &block)) {
            Log("error cannot-read-block-file %s", blockFile.c_str());
            return 2;
        }
    } else {
        block.resize(8 + url.size() + 1);
        int32_t m = mode;
        memcpy(block.data(), &m, 4);
        memcpy(block.data() + 4, &blockWindow, 4);
        memcpy(block.data() + 8, url.c_str(), url.size() + 1);
    }
    HANDLE mapping = noBlock
                         ? nullptr
                         : CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              static_cast<DWORD>(block.empty() ? 1 : block.size()),
                                              kMappingName);
    if (!mapping && !noBlock) {
        Log("error cannot-create-mapping %lu", GetLastError());
        return 2;
    }
    if (void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr) {
        memcpy(view, block.data(), block.size());
        UnmapViewOfFile(view);
    }
    HANDLE exitEvent = !createExitEvent ? nullptr
                       : narrowRights   ? CreateNarrowEvent(kHostExitEvent)
                                        : CreateEventA(nullptr, TRUE, FALSE, kHostExitEvent);
    // Held until the host ends: an event set before the updater has opened it
    // would otherwise vanish with its last handle, and the updater would make
    // a new one that nobody sets. Made at the start with --narrow-rights.
    HANDLE updaterExitEvent = nullptr;
    if (narrowRights) {
        updaterExitEvent = CreateNarrowEvent(kUpdaterExitEvent);
        if (!updaterExitEvent || !NarrowOwnProcess()) {
            Log("error cannot-narrow-rights %lu", GetLastError());
            return 2;
        }
    }
    Log("start mode=%d url=%s window=0x%lx block=%zu exit-event=%d", mode, url.c_str(),
        static_cast<unsigned long>(blockWindow), block.size(), exitEvent ? 1 : 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + updater + "\"";
    if (!CreateProcessA(updater.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        programDir.c_str(), &startup, &process)) {
        Log("error cannot-start-updater %lu", GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);
    Log("updater-started pid=%lu", process.dwProcessId);

    WindowWatch watch{process.dwProcessId, false};
    bool updaterRunning = true, updaterExitSet = false;
    int result = 3;
    for (;;) {
        DWORD elapsed = GetTickCount() - startTicks;
        if (elapsed >= timeout) {
            Log("timeout");
            break;
        }
        if (!updaterExitSet && updaterExitAfter >= 0 &&
            elapsed >= static_cast<DWORD>(updaterExitAfter)) {
            if (!updaterExitEvent)
                updaterExitEvent = CreateEventA(nullptr, TRUE, FALSE, kUpdaterExitEvent);
            SetEvent(updaterExitEvent);
            updaterExitSet = true;
            Log("updater-exit-event-set");
        }
        HANDLE handles[2] = {process.hProcess, exitEvent};
        DWORD count = updaterRunning ? (exitEvent ? 2 : 1) : (exitEvent ? 1 : 0);
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
        HANDLE signalled = waitOn[r - WAIT_OBJECT_0];
        if (signalled == process.hProcess) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            Log("updater-exited code=%lu", static_cast<unsigned long>(code));
            updaterRunning = false;
            if (exitWithUpdater) {
                result = 0;
                break;
            }
        } else {
            Log("exit-event-set");
            result = 0;
            break;
        }
    }
    Log("host-exit");
    DestroyWindow(window);
    CloseHandle(process.hProcess);
    if (updaterExitEvent)
        CloseHandle(updaterExitEvent);
    if (exitEvent)
        CloseHandle(exitEvent);
    if (mapping)
        CloseHandle(mapping);
    return result;
}
