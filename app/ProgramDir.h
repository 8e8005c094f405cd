// The program directory: the folder of the updater's own executable, ending in
// a backslash. Every local file name of the updater is appended to it.
#pragma once

#include "framework/String.h"

extern CString programDir;

// The directory of the running executable with its trailing backslash; empty
// when the path has no backslash.
CString GetProgramDir();
