// The program folder the kit works on.
#pragma once

#include "framework/String.h"

// `given` with a trailing backslash, or, when null or empty, the folder of the
// host's own executable; empty when neither can be had.
CString ProgramFolderOf(const char* given);
