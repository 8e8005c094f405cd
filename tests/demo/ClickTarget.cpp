// A window to click at, for the demo's own tests: ClickTarget LOG [framed]
// shows a 300 x 320 window titled "Updater" centred on the screen (a popup
// without frame, or with "framed" an ordinary captioned window of that client
// size) with two buttons where the update dialog has its Upgrade and its
// right-hand button. Each click appends "upgrade" or "right" to LOG; a click
// on the right-hand button also closes the window. Ends after 60 s at most.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kUpgrade = 1000;
constexpr int kRight = 1002;
std::string logPath;

void Record(const char* what) {
    if (FILE* f = std::fopen(logPath.c_str(), "ab")) {
        std::fprintf(f, "%s\n", what);
        std::fclose(f);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        Record(LOWORD(wParam) == kUpgrade ? "upgrade" : "right");
        if (LOWORD(wParam) == kRight)
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 2)
        return 2;
    logPath = __argv[1];
    const bool framed = __argc > 2 && std::string(__argv[2]) == "framed";

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "ClickTarget";
    RegisterClassA(&windowClass);

    const DWORD style = framed ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU : WS_POPUP;
    RECT rect{0, 0, 300, 320};
    AdjustWindowRect(&rect, style, FALSE);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HWND window = CreateWindowExA(0, "ClickTarget", "Updater", style,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                  nullptr, nullptr, instance, nullptr);
    const struct { int id, x; } buttons[] = {{kUpgrade, 128}, {kRight, 209}};
    for (const auto& b : buttons)
        CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, b.x, 292, 66, 23,
                        window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), instance,
                        nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetTimer(window, 1, 60000, nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) {
            DestroyWindow(window);
            continue;
        }
        DispatchMessageA(&msg);
    }
    return 0;
}
