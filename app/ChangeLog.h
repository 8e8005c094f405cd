// The change log of the new version, fetched from the update server.
#pragma once

#include "framework/String.h"

// Downloads `url` to program directory + "UpdateContent.dat" (at most 4 MiB,
// kListLimits) and returns its lines, each followed by CR LF; the file is
// deleted after reading. Returns an empty text when the download fails: what
// the transfer wrote is then gone, and a file that was there before the
// server's answer allowed writing is left as it is.
CString FetchChangeLog(const char* url);
