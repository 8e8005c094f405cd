// The values the host hands to the updater at launch, as the engine uses them.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <cstdint>

// Launch modes of the launch block.
enum LaunchMode : int32_t {
    ModeOptional = 1,   // the user may decline; the host keeps running
    ModeMandatory = 2,  // declining means quitting the host too
    ModeSilent = 3,     // no window; update at once into the silent staging folder
};

struct LaunchValues {
    int32_t mode = 0;
    HWND hostWindow = nullptr;
    CString baseUrl;     // remote names are appended to it directly
    CString programDir;  // the updater's own folder, ending in a backslash
};
