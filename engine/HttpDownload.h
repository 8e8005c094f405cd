// CHttpDownload: one HTTP or HTTPS transfer of a remote file into a local file.
//
// One instance per transfer, never shared between threads except for Cancel.
// Distinct instances run concurrently on their own threads.
//
//   CHttpDownload* d = CHttpDownload::NewInstance();
//   d->SetNotifyWnd(window, message, -1, -1, -1, 1);   // optional
//   unsigned result = d->Download(url, path, 0);
//   delete d;
//
// What Download does:
// - Only a 2xx answer writes the local file. Any other final status fails with
//   DownloadHttpError and leaves no error page at the local path.
// - With flag 0 (resume allowed) and an existing local file of n > 0 bytes, the
//   request asks for bytes n- with a Range header: 206 appends the rest, 200
//   (Range ignored) starts the file over, and 416 with a total equal to n means
//   the file is already complete (DownloadAlreadyComplete). With flag 1 the
//   whole file is always fetched and replaces the local file.
// - A body that ends before Content-Length, or a connection reset, fails with
//   DownloadShortBody; the bytes received stay in the local file so that a later
//   call with flag 0 resumes them.
// - Connect and receive time-outs bound every wait on the server
//   (DownloadTimeout), redirects are followed up to kMaxRedirects, the system's
//   proxy settings are used, and nothing is read from or written to the URL cache.
//
// Progress: with a notify window set and reports enabled, Download sends (with
// SendMessage, from the downloading thread) the notify message with wParam 0 and
// lParam the address of a DownloadProgress record that stays valid until the
// handler returns. A report goes out when the total becomes known, then at most
// once per interval while bytes arrive, and always once when the transfer
// completes with received == total. Reports stop once Cancel has been called.
#pragma once

#include <windows.h>

#include <cstdint>

// The record behind lParam of a progress report.
struct DownloadProgress {
    int32_t tag;       // the `tag` given to SetNotifyWnd
    uint32_t total;    // size of the whole file in bytes; 0 while unknown
    uint32_t received; // bytes of the file present so far (resumed bytes included)
};

// Results of Download. 0 and 1 are success: the complete file is at the local path.
enum DownloadResult : unsigned {
    DownloadOk = 0,              // the file was transferred
    DownloadAlreadyComplete = 1, // the local file already held the whole file (416)
    DownloadHttpError = 2,       // the server answered with a status other than 2xx
    DownloadShortBody = 4,       // the body ended before its length, or the connection broke
    DownloadTimeout = 5,         // no answer or no data within the time-out
    DownloadConnectFailed = 6,   // host not found, connection refused, TLS failure
    DownloadLocalFileError = 7,  // the local file could not be opened or written
    DownloadCancelled = 8,       // Cancel was called
    DownloadBadUrl = 9,          // the address is not an http or https URL
    DownloadTooManyRedirects = 10,
};

class CHttpDownload {
public:
    static constexpr int kMaxRedirects = 5;
    static constexpr DWORD kConnectTimeoutMs = 10000;
    static constexpr DWORD kReceiveTimeoutMs = 15000;

    // A new instance, or null when the platform's HTTP stack cannot be opened.
    static CHttpDownload* NewInstance();
    virtual ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // Where progress goes. intervalMs: least time between two reports (-1: 50 ms);
    // reserved: pass -1; tag: copied into every record's first field (-1: 0);
    // enable: nonzero sends reports.
    void SetNotifyWnd(HWND window, UINT message, int intervalMs, int reserved, int tag, int enable);

    // Transfers `url` to `localPath`; flag 0 allows resuming, 1 always fetches
    // the whole file. Blocks until the transfer ends; returns a DownloadResult.
    unsigned Download(const char* url, const char* localPath, int flag);

    // From any thread: makes a running or later Download end soon with
    // DownloadCancelled, and stops its progress reports.
    void Cancel();

private:
    CHttpDownload();
    struct Impl;
    Impl* impl;
};
