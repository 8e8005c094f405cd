// The updater's start-up with the update run straight through on the engine's
// hidden window, in every launch mode: the attempt starts at once and, when it
// succeeds, Finish follows (host exit, install, restart). It lets the
// end-to-end tests exercise the engine without the dialog.
// Test knobs from the environment (decimal; absent: the product's value):
// DRIVER_MODULE_UNANNOUNCED_MAX and DRIVER_MODULE_FREE_FLOOR (bytes) for the
// module transfers, DRIVER_TRICKLE_WINDOW_MS for every transfer.
#include "EngineWindow.h"
#include "app/MainWindow.h"
#include "app/UpdaterApp.h"
#include "engine/DownloadTimeouts.h"

#include <cstdlib>

CUpdaterApp theApp;

namespace {

void Knob(const char* name, uint64_t* value) {
    if (const char* text = getenv(name))
        *value = strtoull(text, nullptr, 10);
}

void ApplyKnobs(CUpdateEngine& engine) {
    CUpdateEngine::TransferLimits limits;
    Knob("DRIVER_MODULE_UNANNOUNCED_MAX", &limits.module.maxUnannouncedBytes);
    Knob("DRIVER_MODULE_FREE_FLOOR", &limits.module.freeSpaceFloor);
    engine.SetTransferLimits(limits);
    uint64_t windowMs = 0;
    Knob("DRIVER_TRICKLE_WINDOW_MS", &windowMs);
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
