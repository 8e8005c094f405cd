// The change log of the new version, fetched from the update server.
#pragma once

#include "framework/String.h"

// Downloads `url` to program directory + "UpdateContent.dat" and returns its
// lines, each followed by CR LF; the file is deleted after reading. Returns an
// empty text when the download fails (the local file is then left as it is).
CString FetchChangeLog(const char* url);
