#include "EngineWindow.h"

#include "engine/Install.h"
#include "engine/Messages.h"
#include "engine/Staging.h"

namespace {
constexpr const char* kClassName = "UpdaterEngineWindow";
}

BEGIN_MESSAGE_MAP(CEngineWindow, CWnd)
ON_MESSAGE(WM_DOWNLOAD_DONE, OnDownloadDone)
ON_MESSAGE(WM_CLOSE, OnClose)
END_MESSAGE_MAP()

CEngineWindow::CEngineWindow(const LaunchValues& launch, bool finish)
    : engine(launch), finishOnSuccess(finish) {}

CEngineWindow::~CEngineWindow() {
    if (hwnd)
        ::DestroyWindow(hwnd);
}

bool CEngineWindow::Run() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "Updater", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
    if (!window || !SubclassWindow(window))
        return false;
    engine.SetWindow(window);
    engine.StartUpdateAttempt(FALSE);
    exitWatch.Start(window);

    MSG msg;
    while (!closed && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    exitWatch.Stop();
    engine.Shutdown();
    return true;
}

LRESULT CEngineWindow::OnDownloadDone(WPARAM wParam, LPARAM lParam) {
    const LaunchValues& launch = engine.Launch();
    switch (engine.OnDownloadDone(wParam, lParam)) {
    case AttemptVerdict::Running:
        break;
    case AttemptVerdict::Retry:
        engine.StartUpdateAttempt(TRUE);
        break;
    case AttemptVerdict::Succeeded:
        if (launch.mode == ModeSilent) {
            WriteSilentMarker(launch.programDir, engine.Pending());
        } else if (finishOnSuccess) {
            FinishUpdate(launch.hostWindow, launch.programDir, engine.Pending());
        }
        PostMessage(WM_CLOSE);
        break;
    case AttemptVerdict::Failed:
        PostMessage(WM_CLOSE);
        break;
    }
    return 1;
}

LRESULT CEngineWindow::OnClose(WPARAM, LPARAM) {
    closed = true;
    return 0;
}
