// Making the folders of a path.
#pragma once

#include <windows.h>

// Creates every missing folder of `path` up to its last backslash. The system's
// MakeSureDirectoryPathExists is documented as unsafe for concurrent use (the
// download workers of an attempt make their folders at the same time), so every
// call of the process goes through here, one at a time.
BOOL MakeSurePathExists(const char* path);
