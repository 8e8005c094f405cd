// The start-up benchmark's baseline: the least a windowed program does before
// its window is visible. It shows one top-level window at once, keeps it for
// half a second (the host looks for it every 20 ms) or until the event
// "*_UPDATER_EXIT_*" is set, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE exitEvent = CreateEventA(nullptr, TRUE, FALSE, "*_UPDATER_EXIT_*");
    HWND window = CreateWindowExA(0, "STATIC", "First window", WS_POPUP | WS_VISIBLE, 0, 0, 300,
                                  320, nullptr, nullptr, instance, nullptr);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 500) {
        if (MsgWaitForMultipleObjects(1, &exitEvent, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0)
            break;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    DestroyWindow(window);
    CloseHandle(exitEvent);
    return 0;
}
