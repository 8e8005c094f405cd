#include "DownloadTimeouts.h"

#include "HttpDownload.h"

#include <atomic>

namespace {
std::atomic<DWORD> connectMs{CHttpDownload::kConnectTimeoutMs};
std::atomic<DWORD> receiveMs{CHttpDownload::kReceiveTimeoutMs};
std::atomic<DWORD> trickleWindowMs{CHttpDownload::kTrickleWindowMs};
std::atomic<DWORD> trickleMinBytes{CHttpDownload::kTrickleMinBytes};

void Change(std::atomic<DWORD>& value, DWORD to) {
    if (to)
        value = to;
}
} // namespace

DownloadTimeouts GetDownloadTimeouts() {
    return {connectMs.load(), receiveMs.load(), trickleWindowMs.load(), trickleMinBytes.load()};
}

void SetDownloadTimeouts(DownloadTimeouts timeouts) {
    Change(connectMs, timeouts.connectMs);
    Change(receiveMs, timeouts.receiveMs);
    Change(trickleWindowMs, timeouts.trickleWindowMs);
    Change(trickleMinBytes, timeouts.trickleMinBytes);
}
