#include "UpdaterApp.h"

#include "ChangeLog.h"
#include "LibrarySearch.h"
#include "MainWindow.h"
#include "ProgramDir.h"
#include "SharedMemory.h"
#include "engine/InstallTransaction.h"
#include "engine/LaunchValues.h"

#include <commctrl.h>
#include <objbase.h>

#include <future>
#include <winsock2.h>

CUpdaterApp::CUpdaterApp() {
    // Version 1, no debug-event callback, background thread and external codecs on.
    gdiplusStartupInput = Gdiplus::GdiplusStartupInput(nullptr, FALSE, FALSE);
}

bool CUpdaterApp::ReadLaunchBlock() {
    CSharedMemory memory;
    const void* view = memory.Open(kLaunchMappingName);
    LaunchBlockFields fields;
    if (!view || !ParseLaunchBlock(view, memory.Size(), &fields))
        return false;
    mode = fields.mode;
    hostWindow = fields.hostWindow;
    memcpy(baseUrl, fields.baseUrl, sizeof baseUrl);
    return true;
}

LaunchValues CUpdaterApp::Launch() const {
    LaunchValues launch;
    launch.mode = mode;
    launch.hostWindow = hostWindow;
    launch.baseUrl = baseUrl;
    launch.programDir = programDir;
    return launch;
}

BOOL CUpdaterApp::InitInstance() {
    // One updater per program folder, decided before anything else: an updater
    // that finds another one at work in its folder ends here, having read no
    // launch block, loaded nothing, made no request, shown no window, and
    // written, removed or signalled nothing. (The launch block is left for the
    // updater at work; reading it would change nothing, but nothing needs it.)
    programDir = GetProgramDir();
    if (!folderLock.Acquire(programDir))
        return FALSE;

    WSADATA sockets;
    WSAStartup(MAKEWORD(2, 2), &sockets);
    // An install cut short by a kill or a power loss is finished or undone
    // before anything else, whoever started this updater (the folder is ours now).
    RecoverInterruptedInstall(programDir);
    if (!ReadLaunchBlock())
        return FALSE;
    RunMainWindow(*this);
    return FALSE;
}

void CUpdaterApp::PrepareWindow() {
    // The change log travels while the dialog's libraries load and GDI+ starts.
    std::future<CString> changeLogFetch;
    if (mode == ModeOptional || mode == ModeMandatory)
        changeLogFetch =
            std::async(std::launch::async, [url = CString(baseUrl) + "UpdateContent.dll"] {
                return FetchChangeLog(url.c_str());
            });
    // The change-log box is a rich-edit control of the "RICHEDIT" class, which
    // the dialog cannot be made without, shown or not.
    LoadSystemLibrary("riched32.dll");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // A silent run's window is never shown: it draws nothing and needs neither
    // GDI+ nor COM, whose libraries it never loads.
    if (mode != ModeSilent) {
        CoInitialize(nullptr);
        Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusStartupInput, nullptr);
    }
    if (changeLogFetch.valid())
        changeLog = changeLogFetch.get();
}

int CUpdaterApp::ExitInstance() {
    if (gdiplusToken)
        Gdiplus::GdiplusShutdown(gdiplusToken);
    gdiplusToken = 0;
    return CWinApp::ExitInstance();
}
