// OwnDesktop NAME PROGRAM [ARGUMENTS...]
// Runs PROGRAM on a new desktop NAME of the window station and returns its exit
// code (or 2 when it cannot be started). Under Wine the first program to show a
// window on a desktop fixes that desktop's display driver for every program on
// it: X11 when its DISPLAY works, otherwise none. The demo's runs on an X
// display go to a desktop of their own, so that programs of the same Wine
// session without a display (the tests) keep theirs, and neither takes the
// other's. Programs started from PROGRAM inherit the desktop.
#include "CommandLine.h"
#include "framework/Handles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class UniqueDesktop {
public:
    explicit UniqueDesktop(HDESK d) : desktop(d) {}
    UniqueDesktop(const UniqueDesktop&) = delete;
    UniqueDesktop& operator=(const UniqueDesktop&) = delete;
    ~UniqueDesktop() {
        if (desktop)
            CloseDesktop(desktop);
    }
    explicit operator bool() const { return desktop != nullptr; }

private:
    HDESK desktop;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: OwnDesktop NAME PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const UniqueDesktop desktop(CreateDesktopA(argv[1], nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    if (!desktop) {
        std::fprintf(stderr, "OwnDesktop: cannot create the desktop %s (%lu)\n", argv[1],
                     GetLastError());
        return 2;
    }
    std::string desktopName = std::string("WinSta0\\") + argv[1];
    std::string commandLine = JoinCommandLine(std::vector<std::string>(argv + 2, argv + argc));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "OwnDesktop: cannot start %s (%lu)\n", argv[2], GetLastError());
        return 2;
    }
    const UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    WaitForSingleObject(processHandle.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    return static_cast<int>(code);
}
