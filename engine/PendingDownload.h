// One module to fetch in the current update attempt.
#pragma once

#include "framework/String.h"

#include <vector>

struct PendingDownload {
    int messageId = 0;    // the module's progress message
    CString localName;    // file name in the program directory ("Tevrane.exe" for "Nirvek")
    CString url;          // base URL + remote file name
    CString listedDigest; // the server's digest of the module ("" when not listed)
};

using PendingDownloadList = std::vector<PendingDownload>;
