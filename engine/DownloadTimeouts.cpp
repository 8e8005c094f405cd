#include "DownloadTimeouts.h"

#include "HttpDownload.h"

#include <atomic>

namespace {
std::atomic<DWORD> connectMs{CHttpDownload::kConnectTimeoutMs};
std::atomic<DWORD> receiveMs{CHttpDownload::kReceiveTimeoutMs};
} // namespace

DownloadTimeouts GetDownloadTimeouts() {
    return {connectMs.load(), receiveMs.load()};
}

void SetDownloadTimeouts(DownloadTimeouts timeouts) {
    if (timeouts.connectMs)
        connectMs = timeouts.connectMs;
    if (timeouts.receiveMs)
        receiveMs = timeouts.receiveMs;
}
