// The transfer: resume decision, redirects, writing the body into the local
// file, progress. The WinINet mechanics are in InternetRequest, the reading of
// the answer in DownloadAnswer.
#include "HttpDownload.h"

#include "DownloadAnswer.h"
#include "DownloadProgressReporter.h"
#include "DownloadTimeouts.h"
#include "InternetRequest.h"
#include "TrickleWatch.h"
#include "framework/Handles.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>

namespace {

// The size of an existing regular file; false when there is none.
bool ExistingFileSize(const char* path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

// What the volume holding `path` has free for this user; nothing when that
// cannot be learnt (the limits then bound the file by its size alone).
std::optional<uint64_t> FreeBytesFor(const char* path) {
    std::string folder(path);
    const size_t slash = folder.find_last_of("\\/");
    folder.resize(slash == std::string::npos ? 0 : slash + 1);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                             nullptr))
        return std::nullopt;
    return available.QuadPart;
}

uint64_t NowMs() {
    return GetTickCount64();
}

// `location` (absolute or relative) resolved against `base`; empty on failure.
std::string ResolveLocation(const std::string& base, const std::string& location) {
    std::string resolved(base.size() + location.size() + 64, '\0');
    for (int tries = 0; tries < 2; ++tries) {
        DWORD size = static_cast<DWORD>(resolved.size());
        if (InternetCombineUrlA(base.c_str(), location.c_str(), resolved.data(), &size,
                                ICU_NO_ENCODE)) {
            resolved.resize(size);
            return resolved;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::string();
        resolved.assign(size + 1, '\0');
    }
    return std::string();
}

} // namespace

struct CHttpDownload::Impl {
    InternetHandle session;
    UniqueHandle cancelEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> cancelled{false};
    DownloadProgressReporter reporter{cancelled};
    DownloadLimits limits = kModuleLimits;
    HANDLE underway = nullptr;

    unsigned Download(const char* url, const char* path, int flag);
    unsigned Receive(InternetRequest& request, const char* path, const AnswerPlan& plan,
                     uint64_t offset, bool keepPartial);
    unsigned ReceiveBody(InternetRequest& request, HANDLE file, const AnswerPlan& plan,
                         const WritePermit& permit, uint64_t* received);
};

namespace {

// Opens the local file for a body that starts at `offset`: created (or
// truncated) for a whole file, cut back to `offset` for an appended one.
UniqueHandle OpenTarget(const char* path, uint64_t offset) {
    UniqueHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  offset ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (file && offset) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get()))
            file.Reset();
    }
    return file;
}

// Whether what arrived before a failure stays in the local file: only for a
// resumable transfer, and only when the network failed it.
bool KeepsPartialFile(unsigned result, bool keepPartial) {
    switch (result) {
    case DownloadTooLarge:
    case DownloadNoSpace:
    case DownloadLocalFileError:
        return false;
    default:
        return keepPartial;
    }
}

// What the answer to `request` says, for PlanAnswer. `range` and `location`
// hold the header texts that the facts point into.
AnswerFacts ReadAnswer(const InternetRequest& request, bool rangeSent, uint64_t rangeStart,
                       std::string* range, std::string* location) {
    AnswerFacts facts;
    facts.status = request.Status();
    facts.rangeSent = rangeSent;
    facts.rangeStart = rangeStart;
    std::string length;
    facts.hasLength = request.Header(HTTP_QUERY_CONTENT_LENGTH, &length) &&
                      ParseByteCount(length.c_str(), &facts.length);
    if (request.Header(HTTP_QUERY_CONTENT_RANGE, range))
        facts.contentRange = range->c_str();
    facts.hasLocation = request.Header(HTTP_QUERY_LOCATION, location) && !location->empty();
    return facts;
}

// Moves `address` to where a redirect's Location points; a failure result when
// it may not be followed.
unsigned FollowRedirect(std::string* address, const std::string& location) {
    std::string next = ResolveLocation(*address, location);
    if (next.empty())
        return DownloadBadUrl;
    if (!RedirectAllowed(address->c_str(), next.c_str()))
        return DownloadInsecureRedirect;
    *address = std::move(next);
    return DownloadOk;
}

} // namespace

unsigned CHttpDownload::Impl::Download(const char* url, const char* path, int flag) {
    if (cancelled)
        return DownloadCancelled;
    if (!url || !*url)
        return DownloadBadUrl;
    if (!path || !*path)
        return DownloadLocalFileError;

    const DownloadTimeouts timeouts = GetDownloadTimeouts();
    const bool keepPartial = flag == 0;
    uint64_t localSize = 0;
    bool resume = flag == 0 && ExistingFileSize(path, &localSize) && localSize > 0;
    std::string address = url;
    int redirects = 0;

    for (;;) {
        InternetRequest request(session.Get(), cancelEvent.Get(), timeouts, underway);
        std::string headers;
        if (resume)
            headers = "Range: bytes=" + std::to_string(localSize) + "-\r\n";
        unsigned sent = request.Send(address.c_str(), headers);
        if (cancelled)
            return DownloadCancelled;
        if (sent != DownloadOk)
            return sent;

        std::string range, location;
        const AnswerPlan plan =
            PlanAnswer(ReadAnswer(request, resume, localSize, &range, &location));
        switch (plan.action) {
        case AnswerAction::Redirect:
            if (++redirects > kMaxRedirects)
                return DownloadTooManyRedirects;
            if (unsigned refused = FollowRedirect(&address, location))
                return refused;
            continue;
        case AnswerAction::RestartWhole:
            resume = false; // only ranged requests are restarted, so this happens once
            continue;
        case AnswerAction::Fail:
            return DownloadHttpError;
        case AnswerAction::AlreadyComplete:
            reporter.Restart();
            reporter.Report(plan.total, plan.total, true);
            return DownloadAlreadyComplete;
        case AnswerAction::WriteWhole:
            return Receive(request, path, plan, 0, keepPartial);
        case AnswerAction::Append:
            return Receive(request, path, plan, localSize, keepPartial);
        }
        return DownloadHttpError;
    }
}

unsigned CHttpDownload::Impl::Receive(InternetRequest& request, const char* path,
                                      const AnswerPlan& plan, uint64_t offset, bool keepPartial) {
    const WritePermit permit =
        PermitWrite(limits, plan.totalKnown, plan.total, offset, FreeBytesFor(path));
    if (permit.refusal)
        return permit.refusal; // nothing written: the local file is as it was

    // Created (or truncated) only now that the answer allows writing.
    UniqueHandle file = OpenTarget(path, offset);
    if (!file)
        return DownloadLocalFileError;
    uint64_t received = offset;
    unsigned result = ReceiveBody(request, file.Get(), plan, permit, &received);
    file.Reset(); // closed before anybody is told the file is complete
    if (result == DownloadOk)
        reporter.Report(received, received, true);
    else if (!KeepsPartialFile(result, keepPartial))
        DeleteFileA(path);
    return result;
}

unsigned CHttpDownload::Impl::ReceiveBody(InternetRequest& request, HANDLE file,
                                          const AnswerPlan& plan, const WritePermit& permit,
                                          uint64_t* receivedSoFar) {
    const DownloadTimeouts timeouts = GetDownloadTimeouts();
    TrickleWatch trickle(timeouts.trickleWindowMs, timeouts.trickleMinBytes, NowMs());
    const uint64_t total = plan.totalKnown ? plan.total : 0;
    uint64_t& received = *receivedSoFar;
    reporter.Restart();
    reporter.Report(total, received, true);
    for (;;) {
        const uint64_t waitMs = std::min<uint64_t>(timeouts.receiveMs, trickle.MsLeft(NowMs()));
        const char* data = nullptr;
        DWORD size = 0;
        unsigned read = request.Read(&data, &size, static_cast<DWORD>(waitMs));
        if (cancelled)
            return DownloadCancelled;
        if (read != DownloadOk)
            return read;
        if (size == 0)
            break;
        if (plan.totalKnown && size > plan.total - received)
            return DownloadShortBody; // more than announced: the length is not to be trusted
        if (size > permit.maxTotal - received)
            return permit.overflow;
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written != size)
            return DownloadLocalFileError;
        received += size;
        trickle.Add(size, NowMs());
        if (trickle.TooSlow(NowMs()))
            return DownloadTimeout;
        reporter.Report(total, received, false);
    }
    if (plan.totalKnown && received != plan.total)
        return DownloadShortBody;
    return DownloadOk;
}

CHttpDownload* CHttpDownload::NewInstance() {
    InternetHandle session = InternetRequest::OpenSession();
    if (!session)
        return nullptr;
    auto* download = new CHttpDownload();
    if (!download->impl->cancelEvent) {
        delete download;
        return nullptr;
    }
    download->impl->session = std::move(session);
    return download;
}

CHttpDownload::CHttpDownload() : impl(new Impl) {}

CHttpDownload::~CHttpDownload() {
    delete impl;
}

void CHttpDownload::SetLimits(const DownloadLimits& limits) {
    impl->limits = limits;
}

void CHttpDownload::SetUnderwayEvent(HANDLE event) {
    impl->underway = event;
}

void CHttpDownload::SetNotifyWnd(HWND window, UINT message, int intervalMs, int, int tag,
                                 int enable) {
    impl->reporter.Configure(window, message, intervalMs, tag, enable);
}

unsigned CHttpDownload::Download(const char* url, const char* localPath, int flag) {
    return impl->Download(url, localPath, flag);
}

void CHttpDownload::Cancel() {
    impl->cancelled = true;
    SetEvent(impl->cancelEvent.Get());
}
