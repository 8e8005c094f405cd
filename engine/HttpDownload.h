// CHttpDownload: one HTTP or HTTPS transfer of a remote file into a local file.
//
// One instance per transfer, never shared between threads except for Cancel.
// Distinct instances run concurrently on their own threads.
//
//   CHttpDownload* d = CHttpDownload::NewInstance();
//   d->SetNotifyWnd(window, message, -1, -1, -1, 1);   // optional
//   d->SetLimits(kModuleLimits);                      // optional, see below
//   unsigned result = d->Download(url, path, 0);
//   delete d;
//
// What Download does:
// - Only a 200 answer, or a 206 to our own range request, writes the local
//   file, and the body goes straight into it as it arrives. Any other final
//   status (204 and the other 2xx included) fails with DownloadHttpError and
//   leaves the local file as it was (no error page is ever written).
// - Flag 0 allows resuming: with an existing local file of n > 0 bytes the
//   request asks for bytes n- with a Range header. 206 continuing at n up to
//   the file's stated total appends the rest; 200 (Range ignored) starts the
//   file over; 416 whose total ("bytes */T") equals n means the file is
//   already complete (DownloadAlreadyComplete). A 416 with another total, or a
//   206 that does not continue at n up to a stated total ("/*" states none),
//   cannot be joined to the local bytes: the file is then fetched whole once
//   more. Any other flag always fetches the whole file and replaces the local
//   file once the answer's status allows it.
// - Limits (DownloadLimits.h), set per instance by the caller for the kind of
//   file (default kModuleLimits): a file larger than maxBytes, or without a
//   stated size and larger than maxUnannouncedBytes, fails with
//   DownloadTooLarge - before anything is written when the size is stated,
//   as soon as the body passes the bound otherwise. Nothing is written when
//   the volume would be left with less than freeSpaceFloor free, a stated size
//   counting in full (DownloadNoSpace); a body of unstated size may fill the
//   volume only down to the floor.
// - The local file after a failure: when the bound or the free space is
//   exceeded, or the local file cannot be written, it is removed. When the
//   network fails (DownloadShortBody, DownloadTimeout, a broken connection,
//   DownloadCancelled) the bytes received stay for flag 0, so that a later call
//   resumes them, and are removed for any other flag. A failure before the
//   answer allows writing leaves an existing local file as it was.
// - Redirects (301, 302, 303, 307, 308) are followed up to kMaxRedirects,
//   except from an https address to one that is not https
//   (DownloadInsecureRedirect); the system's proxy settings are used; nothing
//   is read from or written to the URL cache, so every request reaches the
//   server.
// - Every wait on the server is bounded: connecting by the connect time-out,
//   the answer and each further piece of the body by the receive time-out, and
//   a body that brings fewer than kTrickleMinBytes in any kTrickleWindowMs
//   fails too (all DownloadTimeout). Time spent waiting for a free connection
//   (WinINet allows InternetRequest::kConnectionsPerServer per server) does
//   not count. The defaults below can be changed for a whole process with
//   SetDownloadTimeouts (engine/DownloadTimeouts.h).
//
// Progress: with a notify window set and reports enabled, Download sends (with
// SendMessage, from the downloading thread) the notify message with wParam 0 and
// lParam the address of a DownloadProgress record that stays valid until the
// handler returns. A report goes out as soon as the answer's headers are in
// (total 0 while the size is unknown), then at most once per interval while
// bytes arrive, and always once when the transfer succeeds, with received ==
// total. Reports stop once Cancel has been called. Because the reports are
// sent, the notify window's thread must keep dispatching sent messages while it
// waits for a downloading thread (MsgWaitForMultipleObjects with QS_SENDMESSAGE
// and PeekMessage, or a message loop); a plain WaitForSingleObject on that
// thread can deadlock with a report in flight.
//
// Cancel: no WinINet call blocks the downloading thread; it waits on the
// transfer's completion and on the instance's cancel event together, so Cancel
// from any thread ends Download within moments even when the server has stalled.
// (Closing a WinINet handle from another thread does not end a blocked call
// under Wine, which is why the transfer runs in WinINet's asynchronous mode.)
#pragma once

#include "DownloadLimits.h"

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
    DownloadOk = 0,                // the file was transferred
    DownloadAlreadyComplete = 1,   // the local file already held the whole file (416)
    DownloadHttpError = 2,         // the server answered with a status other than 200 or
                                   // a usable 206, or a redirect without Location
    DownloadShortBody = 4,         // the body ended before its length (or ran past it),
                                   // or the connection broke
    DownloadTimeout = 5,           // no answer or no data within the time-out
    DownloadConnectFailed = 6,     // host not found, connection refused, TLS failure, or
                                   // the connection failed before an answer arrived
    DownloadLocalFileError = 7,    // the local path is missing, or the file could not be
                                   // opened or written
    DownloadCancelled = 8,         // Cancel was called
    DownloadBadUrl = 9,            // the address is not an http or https URL
    DownloadTooManyRedirects = 10, // more than kMaxRedirects redirects (e.g. a loop)
    // 11 and 20 upwards are the engine's own results (engine/Messages.h).
    DownloadTooLarge = 12,         // the file is larger than the caller's bound
    DownloadNoSpace = 13,          // the file would leave the volume with less free space
                                   // than the caller's floor
    DownloadInsecureRedirect = 14, // an https address was redirected to one that is not
};

class CHttpDownload {
public:
    static constexpr int kMaxRedirects = 5;
    static constexpr DWORD kConnectTimeoutMs = 10000;
    static constexpr DWORD kReceiveTimeoutMs = 15000;
    static constexpr DWORD kTrickleWindowMs = 60000;
    static constexpr DWORD kTrickleMinBytes = 1024;

    // A new instance, or null when the platform's HTTP stack cannot be opened.
    static CHttpDownload* NewInstance();
    virtual ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // Where progress goes. intervalMs: least time between two reports while
    // bytes arrive (negative: 50 ms; 0: a report for every piece read);
    // reserved: pass -1 (ignored); tag: copied into every record's first field
    // (-1: 0); enable: nonzero sends reports. A null window sends none.
    void SetNotifyWnd(HWND window, UINT message, int intervalMs, int reserved, int tag, int enable);

    // What the transfers of this instance may write (see above).
    void SetLimits(const DownloadLimits& limits);

    // An event (the caller's) that Download sets once a request is on its way:
    // WinINet has a connection and is sending it. Null: none.
    void SetUnderwayEvent(HANDLE event);

    // Transfers `url` to `localPath`; flag 0 allows resuming, any other value
    // always fetches the whole file. Blocks until the transfer ends; returns a
    // DownloadResult.
    unsigned Download(const char* url, const char* localPath, int flag);

    // From any thread: makes a running or later Download end soon with
    // DownloadCancelled, and stops its progress reports.
    void Cancel();

private:
    CHttpDownload();
    struct Impl;
    Impl* impl;
};
