// The time-outs every CHttpDownload uses: the product defaults, changeable for
// the whole process so that tests of stalled servers end in a fraction of a
// second instead of waiting the full product time-out.
#pragma once

#include <windows.h>

struct DownloadTimeouts {
    DWORD connectMs = 0;       // connecting to the server, once a connection may be made
    DWORD receiveMs = 0;       // longest wait for the answer or for the next body bytes
    DWORD trickleWindowMs = 0; // a body that brings fewer than trickleMinBytes in
    DWORD trickleMinBytes = 0; // any window of this length fails (DownloadTimeout)
};

// The time-outs in force (the product defaults unless changed).
DownloadTimeouts GetDownloadTimeouts();

// Changes the time-outs for downloads started afterwards; zero fields keep
// their current value.
void SetDownloadTimeouts(DownloadTimeouts timeouts);
