// One GET request over a WinINet session opened in asynchronous mode. Every
// wait for the server is a wait on the request's completion event together
// with a cancel event, bounded by a time-out, so the calling thread never sits
// inside a WinINet call that nobody can end.
#pragma once

#include "DownloadTimeouts.h"
#include "framework/InternetHandle.h"

#include <string>

class InternetRequest {
public:
    // Connections WinINet may open to one server at a time, for the whole
    // process. Its defaults (2 to 6) would queue the parallel module
    // transfers behind each other.
    static constexpr DWORD kConnectionsPerServer = 16;

    // A session for requests of this kind (asynchronous, system proxy
    // settings, our status callback); empty when WinINet cannot be opened.
    // The first call raises the per-server connection limits.
    static InternetHandle OpenSession();

    // `cancel` is a manual-reset event; once set, every wait ends with
    // DownloadCancelled. `underway` (may be null) is set once the request
    // reaches the Connected stage (see RequestStage.h) or was sent at once.
    InternetRequest(HINTERNET session, HANDLE cancel, const DownloadTimeouts& timeouts,
                    HANDLE underway = nullptr);
    ~InternetRequest();
    InternetRequest(const InternetRequest&) = delete;
    InternetRequest& operator=(const InternetRequest&) = delete;

    // Connects, sends the request with `headers` (CRLF-terminated lines, may be
    // empty) and waits for the answer's headers. DownloadOk or a failure result.
    // Time spent waiting for a free connection does not count against the
    // time-outs (see RequestStage.h).
    unsigned Send(const char* url, const std::string& headers);

    // After a successful Send: the status code, and a header's value (false
    // when absent). `query` is an HTTP_QUERY_ constant.
    unsigned Status() const;
    bool Header(DWORD query, std::string* value) const;

    // The next piece of the body, whatever has arrived up to the buffer size,
    // waiting up to `waitMs` for it if nothing has. DownloadOk with *size 0 at
    // the end of the body; otherwise a failure result.
    unsigned Read(const char** data, DWORD* size, DWORD waitMs);

private:
    struct State;
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                  DWORD infoLength);
    unsigned Wait(DWORD timeoutMs);
    unsigned WaitForAnswer();

    HINTERNET session;
    HANDLE cancel;
    DownloadTimeouts timeouts;
    HANDLE underway;
    InternetHandle connection;
    InternetHandle request;
    State* state = nullptr;
};
