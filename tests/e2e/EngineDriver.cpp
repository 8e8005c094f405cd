// The updater's start-up with the update run straight through on the engine's
// hidden window, in every launch mode: the attempt starts at once and, when it
// succeeds, Finish follows (host exit, install, restart). It lets the
// end-to-end tests exercise the engine without the dialog.
#include "EngineWindow.h"
#include "app/MainWindow.h"
#include "app/UpdaterApp.h"

CUpdaterApp theApp;

void RunMainWindow(CUpdaterApp& app) {
    CEngineWindow window(app.Launch(), true);
    window.Run();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return theApp.Run();
}
