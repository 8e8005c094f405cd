// A hidden window that runs update attempts without the dialog: it receives
// the workers' messages and acts on each decided attempt, so that tests can
// drive the engine's whole flow (attempts, retries, Finish) on their own.
#pragma once

#include "engine/ExitWatch.h"
#include "engine/UpdateEngine.h"
#include "framework/Wnd.h"

class CEngineWindow : public CWnd {
public:
    explicit CEngineWindow(const LaunchValues& launch, bool finishOnSuccess = false);
    ~CEngineWindow() override;

    // Creates the window, starts an attempt and the exit watch, and handles
    // messages until the window is closed. Returns false when no window could be made.
    bool Run();

    CUpdateEngine engine;

protected:
    LRESULT OnDownloadDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(WPARAM wParam, LPARAM lParam);

private:
    CExitWatch exitWatch;
    bool finishOnSuccess;
    bool closed = false;

    DECLARE_MESSAGE_MAP()
};
