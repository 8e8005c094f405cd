#include "MainWindow.h"

#include "ProgramDir.h"
#include "UpdaterApp.h"
#include "engine/LaunchValues.h"
#include "ui/UpdaterDlg.h"

void RunMainWindow(CUpdaterApp& app) {
    LaunchValues launch;
    launch.mode = app.mode;
    launch.hostWindow = app.hostWindow;
    launch.baseUrl = app.baseUrl;
    launch.programDir = programDir;
    CUpdaterDlg dialog(launch, app.changeLog);
    app.mainWnd = &dialog;
    dialog.DoModal();
    app.mainWnd = nullptr;
}
