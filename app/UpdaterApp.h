// The application object: reads the launch block, finds the program directory,
// fetches the change log, starts GDI+ and runs the update window.
#pragma once

#include "engine/FolderLock.h"
#include "engine/LaunchBlock.h"
#include "engine/LaunchValues.h"
#include "framework/String.h"
#include "framework/GdiPlus.h"
#include "framework/WinApp.h"

#include <cstdint>

class CUpdaterApp : public CWinApp {
public:
    CUpdaterApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Copies the launch block into mode, hostWindow and baseUrl; false when the
    // mapping cannot be opened and mapped, or holds less than a block header.
    bool ReadLaunchBlock();
    // The launch values with the program directory, as the update dialog takes them.
    LaunchValues Launch() const;
    // What the update dialog needs before it is made: the change log (fetched
    // meanwhile in the modes that show it), the rich-edit and common-control
    // classes, and GDI+ unless the run is silent.
    void PrepareWindow();

    int32_t mode = 0;
    HWND hostWindow = nullptr;
    char baseUrl[kBaseUrlSize] = {};
    CString changeLog;
    Gdiplus::GdiplusStartupInput gdiplusStartupInput;
    ULONG_PTR gdiplusToken = 0;
    // Held from start-up to the end of the process.
    CFolderLock folderLock;
};

extern CUpdaterApp theApp;
