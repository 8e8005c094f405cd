// Keeps the test run's Wine session warm: waits until the event
// "UpdaterTests.KeepAlive.Stop" is set, or at most an hour.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "UpdaterTests.KeepAlive.Stop");
    WaitForSingleObject(stop, 3600 * 1000);
    return 0;
}
