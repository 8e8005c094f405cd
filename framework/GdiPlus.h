// GDI+ declarations (the flat interface lives in Gdiplus::DllExports).
#pragma once

#include <windows.h>
#include <objidl.h> // IStream and PROPID, which the GDI+ headers expect
#include <gdiplus.h>
