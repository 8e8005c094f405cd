// The time-outs every CHttpDownload uses: the product defaults, changeable for
// the whole process so that tests of stalled servers end in a fraction of a
// second instead of waiting the full product time-out.
#pragma once

#include <windows.h>

struct DownloadTimeouts {
    DWORD connectMs; // resolving and connecting to the server
    DWORD receiveMs; // longest wait for the answer or for the next body bytes
};

// The time-outs in force (the product defaults unless changed).
DownloadTimeouts GetDownloadTimeouts();

// Changes the time-outs for downloads started afterwards; zero fields keep
// their current value.
void SetDownloadTimeouts(DownloadTimeouts timeouts);
