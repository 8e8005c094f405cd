// The stand-in's test doors: launches the kit would never make (a launch block
// of given bytes, none at all, no exit event, a mode other than 1 to 3) and
// the narrowed objects of an elevated host. Everything else goes through the host kit.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <cstdint>
#include <string>

struct StandInOptions {
    int mode = 0;
    std::string url, updater, blockFile, updaterExitOn;
    bool haveWindowValue = false, createExitEvent = true, exitWithUpdater = false;
    bool noBlock = false, narrowRights = false, applyStage = false, recover = false;
    bool closeIfRunning = false;
    unsigned long windowValue = 0;
    long updaterExitAfter = -1;
    DWORD timeout = 120000;
};

// Whether `options` asks for a launch the kit does not make.
bool NeedsRawLaunch(const StandInOptions& options);

// Creates the events "*_ORVAK_EXIT_*" and "*_UPDATER_EXIT_*" so that others
// may only set them or wait on them, and lets others only wait for this
// process. The events stay open in `hostExit` and `updaterExit`.
bool NarrowRights(UniqueHandle* hostExit, UniqueHandle* updaterExit);

// The raw launch: the block (from the file, or mode, window and URL), the
// exit event unless refused, the updater. Logs its own errors through `log`.
struct RawLaunch {
    UniqueHandle mapping, exitEvent, process;
    size_t blockSize = 0;
};
bool LaunchRaw(const StandInOptions& options, uint32_t window, const std::string& programDir,
               RawLaunch* launch, void (*log)(const char* format, ...));
