#include "MainWindow.h"

#include "UpdaterApp.h"
#include "ui/UpdaterDlg.h"

void RunMainWindow(CUpdaterApp& app) {
    CUpdaterDlg dialog(app.Launch(), app.changeLog);
    app.mainWnd = &dialog;
    dialog.DoModal();
    app.mainWnd = nullptr;
}
