// One module to fetch in the current update attempt.
#pragma once

#include "framework/String.h"

#include <cstdint>
#include <vector>

struct PendingDownload {
    int messageId = 0;    // the module's progress message
    CString localName;    // file name in the program directory ("Tevrane.exe" for "Nirvek")
    CString url;          // base URL + remote file name
    CString listedDigest; // the server's digest of the module ("" when not listed)
    // When the updater holds a publisher's key: what the signed list says of
    // the module's file (its size and SHA-256) and the list's serial.
    CString signedSha256{}; // "" when the list is not signed
    long long signedSize = -1;
    uint64_t releaseSerial = 0;
};

using PendingDownloadList = std::vector<PendingDownload>;
