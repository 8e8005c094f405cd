#include "MainWindow.h"

#include "EngineWindow.h"
#include "ProgramDir.h"
#include "UpdaterApp.h"
#include "engine/LaunchValues.h"

// Silent mode runs the update on a hidden window. The interactive modes have
// no window yet and end at once.
void RunMainWindow(CUpdaterApp& app) {
    if (app.mode != ModeSilent)
        return;
    LaunchValues launch;
    launch.mode = app.mode;
    launch.hostWindow = app.hostWindow;
    launch.baseUrl = app.baseUrl;
    launch.programDir = programDir;
    CEngineWindow window(launch);
    window.Run();
}
