// The updater's start-up with the update run straight through on the engine's
// hidden window, in every launch mode: the attempt starts at once and, when it
// succeeds, Finish follows (host exit, install, restart). It lets the
// end-to-end tests exercise the engine without the dialog.
//
// Being a test program, it takes knobs from its environment (decimal numbers;
// absent: the product's values):
//   DRIVER_MODULE_UNANNOUNCED_MAX  bytes a module of unstated size may have
//   DRIVER_MODULE_FREE_FLOOR       free bytes a module's transfer must leave
//   DRIVER_TRICKLE_WINDOW_MS       the window in which 1 KiB must arrive
#include "EngineWindow.h"
#include "app/MainWindow.h"
#include "app/UpdaterApp.h"
#include "engine/DownloadTimeouts.h"

#include <cstdlib>

CUpdaterApp theApp;

namespace {

bool Knob(const char* name, uint64_t* value) {
    char text[32] = {};
    DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return false;
    *value = strtoull(text, nullptr, 10);
    return true;
}

void ApplyKnobs(CUpdateEngine& engine) {
    CUpdateEngine::TransferLimits limits;
    Knob("DRIVER_MODULE_UNANNOUNCED_MAX", &limits.module.maxUnannouncedBytes);
    Knob("DRIVER_MODULE_FREE_FLOOR", &limits.module.freeSpaceFloor);
    engine.SetTransferLimits(limits);
    uint64_t windowMs = 0;
    if (Knob("DRIVER_TRICKLE_WINDOW_MS", &windowMs))
        SetDownloadTimeouts({0, 0, static_cast<DWORD>(windowMs), 0});
}

} // namespace

void RunMainWindow(CUpdaterApp& app) {
    CEngineWindow window(app.Launch(), true);
    ApplyKnobs(window.engine);
    window.Run();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return theApp.Run();
}
