#include "InternetRequest.h"

#include "DownloadAnswer.h"
#include "HttpDownload.h"
#include "RequestStage.h"
#include "framework/Handles.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// Each read takes whatever has arrived, up to this much. Under Wine every
// socket call is a round trip to the Wine server, so pieces must be large; with
// 15 parallel transfers 256 KiB to 1 MiB measured alike and 4 MiB slower
// (bench/download).
constexpr DWORD kReadSize = 512 << 10;

// How much longer than our own waits WinINet's time-outs are.
constexpr DWORD kWinInetGraceMs = 1000;

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;

} // namespace

// What the status callback shares with the requesting thread. It is counted:
// one reference for the InternetRequest, one for the WinINet request handle,
// dropped by the handle's closing notification. A cancelled operation may
// still be pending inside WinINet after the InternetRequest is gone; the state
// (its event and buffer included) lives until WinINet has finished with it.
struct InternetRequest::State {
    std::atomic<long> refs{1};
    UniqueHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    // Set by the callback whenever `stage` moves on.
    UniqueHandle stageMoved{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<RequestStage> stage{RequestStage::Waiting};
    DWORD_PTR result = 0; // of the last pending operation: nonzero on success
    DWORD error = 0;
    std::string headers;
    std::unique_ptr<char[]> buffer{new char[kReadSize]};
    INTERNET_BUFFERSA io{};

    void Release() {
        if (--refs == 0)
            delete this;
    }
};

void CALLBACK InternetRequest::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                        DWORD) {
    auto* state = reinterpret_cast<State*>(context);
    if (!state)
        return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        state->result = outcome->dwResult;
        state->error = outcome->dwError;
        SetEvent(state->done.Get());
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        state->Release();
    } else {
        const RequestStage before = state->stage.load();
        const RequestStage after = StageAfter(before, status);
        if (after != before) {
            state->stage = after;
            SetEvent(state->stageMoved.Get());
        }
    }
}

InternetHandle InternetRequest::OpenSession() {
    static std::once_flag raised;
    std::call_once(raised, [] {
        DWORD connections = kConnectionsPerServer;
        InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                           sizeof connections);
        InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                           sizeof connections);
    });
    InternetHandle session(InternetOpenA("Updater", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                         INTERNET_FLAG_ASYNC));
    if (session &&
        InternetSetStatusCallbackA(session.Get(), &OnStatus) == INTERNET_INVALID_STATUS_CALLBACK)
        session.Reset();
    return session;
}

InternetRequest::InternetRequest(HINTERNET s, HANDLE c, const DownloadTimeouts& t, HANDLE u)
    : session(s), cancel(c), timeouts(t), underway(u) {}

InternetRequest::~InternetRequest() {
    request.Reset();
    connection.Reset();
    if (state)
        state->Release();
}

unsigned InternetRequest::Send(const char* url, const std::string& headers) {
    const size_t length = strlen(url);
    if (length == 0 || length >= MAXDWORD / 2)
        return DownloadBadUrl;

    // Component buffers as long as the URL itself, so no URL is too long.
    const DWORD room = static_cast<DWORD>(length + 1);
    std::string host(room, '\0'), user(room, '\0'), password(room, '\0'), path(room, '\0'),
        extra(room, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = room;
    parts.lpszUserName = user.data();
    parts.dwUserNameLength = room;
    parts.lpszPassword = password.data();
    parts.dwPasswordLength = room;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = room;
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = room;
    if (!InternetCrackUrlA(url, static_cast<DWORD>(length), 0, &parts))
        return DownloadBadUrl;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return DownloadBadUrl;
    host.resize(parts.dwHostNameLength);
    user.resize(parts.dwUserNameLength);
    password.resize(parts.dwPasswordLength);
    path.resize(parts.dwUrlPathLength);
    extra.resize(parts.dwExtraInfoLength);
    if (host.empty())
        return DownloadBadUrl;
    const std::string object = path.empty() && extra.empty() ? std::string(1, '/') : path + extra;

    connection.Reset(InternetConnectA(
        session, host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
        password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return ResultForInternetError(GetLastError(), TransferPhase::Request);

    DWORD flags = kRequestFlags;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;
    request.Reset(HttpOpenRequestA(connection.Get(), "GET", object.c_str(), nullptr, nullptr,
                                   nullptr, flags, 0));
    if (!request)
        return ResultForInternetError(GetLastError(), TransferPhase::Request);

    // The context goes on only now that the handle exists, so its closing
    // notification is the one that drops the handle's reference.
    state = new State;
    state->headers = headers;
    ++state->refs;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state);
    if (!InternetSetOptionA(request.Get(), INTERNET_OPTION_CONTEXT_VALUE, &context,
                            sizeof context)) {
        --state->refs;
        return DownloadConnectFailed;
    }
    // Our own waits end first and give DownloadTimeout; WinINet's time-outs, a
    // little longer, only bound how long an abandoned operation lingers.
    DWORD winInetConnectMs = timeouts.connectMs;
    DWORD winInetReceiveMs = timeouts.connectMs + timeouts.receiveMs + kWinInetGraceMs;
    InternetSetOptionA(request.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &winInetConnectMs,
                       sizeof winInetConnectMs);
    InternetSetOptionA(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &winInetReceiveMs,
                       sizeof winInetReceiveMs);
    InternetSetOptionA(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, &winInetReceiveMs,
                       sizeof winInetReceiveMs);

    const char* extraHeaders = state->headers.empty() ? nullptr : state->headers.c_str();
    if (!HttpSendRequestA(request.Get(), extraHeaders, static_cast<DWORD>(state->headers.size()),
                          nullptr, 0)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return ResultForInternetError(error, TransferPhase::Request);
        unsigned waited = WaitForAnswer();
        if (waited != DownloadOk)
            return waited;
        if (!state->result)
            return ResultForInternetError(state->error, TransferPhase::Request);
    }
    if (underway)
        SetEvent(underway);
    return DownloadOk;
}

unsigned InternetRequest::Status() const {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr))
        return 0;
    return status;
}

bool InternetRequest::Header(DWORD query, std::string* value) const {
    std::string text(256, '\0');
    for (int tries = 0; tries < 2; ++tries) {
        DWORD size = static_cast<DWORD>(text.size());
        if (HttpQueryInfoA(request.Get(), query, text.data(), &size, nullptr)) {
            text.resize(size);
            *value = std::move(text);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        text.assign(size + 1, '\0');
    }
    return false;
}

unsigned InternetRequest::Read(const char** data, DWORD* size, DWORD waitMs) {
    for (;;) {
        state->io = INTERNET_BUFFERSA{};
        state->io.dwStructSize = sizeof state->io;
        state->io.lpvBuffer = state->buffer.get();
        state->io.dwBufferLength = kReadSize;
        if (InternetReadFileExA(request.Get(), &state->io, IRF_NO_WAIT,
                                reinterpret_cast<DWORD_PTR>(state))) {
            *data = state->buffer.get();
            *size = state->io.dwBufferLength;
            return DownloadOk;
        }
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return ResultForInternetError(error, TransferPhase::Body);
        // Nothing had arrived. A read without waiting that goes pending only
        // waits for data to reach WinINet's own buffer (it does not fill ours);
        // once some is there, or the body has ended, the next read returns it.
        unsigned waited = Wait(waitMs);
        if (waited != DownloadOk)
            return waited;
        if (!state->result)
            return ResultForInternetError(state->error, TransferPhase::Body);
    }
}

// Each stage of the request has its own bound, counted from when the request
// entered it (as the status callback reports).
unsigned InternetRequest::WaitForAnswer() {
    RequestStage stage = state->stage.load();
    ULONGLONG since = GetTickCount64();
    for (;;) {
        const RequestStage now = state->stage.load();
        if (now != stage) {
            stage = now;
            since = GetTickCount64();
        }
        if (stage == RequestStage::Connected && underway)
            SetEvent(underway);
        const ULONGLONG limit = StageLimitMs(stage, timeouts);
        const ULONGLONG elapsed = GetTickCount64() - since;
        if (elapsed >= limit)
            return DownloadTimeout;
        HANDLE events[3] = {state->done.Get(), cancel, state->stageMoved.Get()};
        switch (WaitForMultipleObjects(3, events, FALSE, static_cast<DWORD>(limit - elapsed))) {
        case WAIT_OBJECT_0:
            return DownloadOk;
        case WAIT_OBJECT_0 + 1:
            return DownloadCancelled;
        case WAIT_OBJECT_0 + 2:
        case WAIT_TIMEOUT:
            continue; // the stage moved on, or its time is up: looked at again above
        default:
            return DownloadConnectFailed;
        }
    }
}

unsigned InternetRequest::Wait(DWORD timeoutMs) {
    HANDLE events[2] = {state->done.Get(), cancel};
    switch (WaitForMultipleObjects(2, events, FALSE, timeoutMs)) {
    case WAIT_OBJECT_0:
        return DownloadOk;
    case WAIT_OBJECT_0 + 1:
        return DownloadCancelled;
    case WAIT_TIMEOUT:
        return DownloadTimeout;
    default:
        return DownloadConnectFailed;
    }
}
