#include "MainWindow.h"

#include "UpdaterApp.h"
#include "ui/UpdaterDlg.h"

#include <optional>

namespace {

// How long a silent update's start may hold up the making of its window. While
// a library loads, it holds a lock of the whole process that every new thread
// needs before it runs, so loading the window's libraries at once would hold
// up the threads that send the request; within this bound they go first.
constexpr DWORD kListHeadStartMs = 250;

} // namespace

void RunMainWindow(CUpdaterApp& app) {
    // A silent update starts before its window exists: the digest list is on
    // its way and the installed files are being digested while the window's
    // libraries load and the window is made. The other modes show the change
    // log, which the dialog is made with.
    std::optional<CUpdaterDlg> dialog;
    if (app.mode == ModeSilent) {
        dialog.emplace(app.Launch(), CString());
        dialog->StartSilentUpdate(kListHeadStartMs);
    }
    app.PrepareWindow();
    if (!dialog)
        dialog.emplace(app.Launch(), app.changeLog);
    app.mainWnd = &*dialog;
    dialog->DoModal();
    app.mainWnd = nullptr;
}
