// Keeps the test run's Wine session warm: waits until the event
// "UpdaterTests.KeepAlive.Stop" is set, or at most an hour. With the argument
// "warm-up" it only makes sure that the session's desktop exists and ends.
// A session needs one of it: a second one started while the first waits ends
// at once.
//
// The desktop process is started by the first program that needs the desktop
// window, and it inherits that program's output. Started from here (whose
// output goes nowhere) it does not hold a test's output pipe open, which would
// make ctest wait for it until the end of the run.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    GetDesktopWindow();
    if (commandLine && strstr(commandLine, "warm-up"))
        return 0;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "UpdaterTests.KeepAlive.Stop");
    if (!stop || GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    WaitForSingleObject(stop, 3600 * 1000);
    return 0;
}
