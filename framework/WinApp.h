// The application object. The program defines exactly one static instance of a
// class derived from CWinApp; the framework's WinMain runs it:
//   InitInstance; if it returns TRUE, a message loop until WM_QUIT; ExitInstance.
// The process exit code is what ExitInstance returns.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return exitCode; }

    // Runs the application object's lifecycle; called by WinMain.
    int Run();

    HINSTANCE instance = nullptr;
    CWnd* mainWnd = nullptr;
    int exitCode = 0;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module that holds the dialog templates, strings and images.
HINSTANCE AfxGetResourceHandle();
