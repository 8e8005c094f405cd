// The transfer: resume decision, redirects, writing the body into the local
// file, progress. The WinINet mechanics are in InternetRequest, the reading of
// the answer in DownloadAnswer.
#include "HttpDownload.h"

#include "DownloadAnswer.h"
#include "DownloadProgressReporter.h"
#include "DownloadTimeouts.h"
#include "InternetRequest.h"
#include "framework/Handles.h"

#include <atomic>
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

    unsigned Download(const char* url, const char* path, int flag);
    unsigned Receive(InternetRequest& request, const char* path, const AnswerPlan& plan,
                     uint64_t offset);
};

unsigned CHttpDownload::Impl::Download(const char* url, const char* path, int flag) {
    if (cancelled)
        return DownloadCancelled;
    if (!url || !*url)
        return DownloadBadUrl;
    if (!path || !*path)
        return DownloadLocalFileError;

    const DownloadTimeouts timeouts = GetDownloadTimeouts();
    uint64_t localSize = 0;
    bool resume = flag == 0 && ExistingFileSize(path, &localSize) && localSize > 0;
    std::string address = url;
    int redirects = 0;

    for (;;) {
        InternetRequest request(session.Get(), cancelEvent.Get(), timeouts.connectMs,
                                timeouts.receiveMs);
        std::string headers;
        if (resume)
            headers = "Range: bytes=" + std::to_string(localSize) + "-\r\n";
        unsigned sent = request.Send(address.c_str(), headers);
        if (cancelled)
            return DownloadCancelled;
        if (sent != DownloadOk)
            return sent;

        AnswerFacts facts;
        facts.status = request.Status();
        facts.rangeSent = resume;
        facts.rangeStart = localSize;
        std::string length, range, location;
        facts.hasLength = request.Header(HTTP_QUERY_CONTENT_LENGTH, &length) &&
                          ParseByteCount(length.c_str(), &facts.length);
        if (request.Header(HTTP_QUERY_CONTENT_RANGE, &range))
            facts.contentRange = range.c_str();
        facts.hasLocation = request.Header(HTTP_QUERY_LOCATION, &location) && !location.empty();

        const AnswerPlan plan = PlanAnswer(facts);
        switch (plan.action) {
        case AnswerAction::Redirect:
            if (++redirects > kMaxRedirects)
                return DownloadTooManyRedirects;
            address = ResolveLocation(address, location);
            if (address.empty())
                return DownloadBadUrl;
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
            return Receive(request, path, plan, 0);
        case AnswerAction::Append:
            return Receive(request, path, plan, localSize);
        }
        return DownloadHttpError;
    }
}

unsigned CHttpDownload::Impl::Receive(InternetRequest& request, const char* path,
                                      const AnswerPlan& plan, uint64_t offset) {
    // Created (or truncated) only now that a 2xx answer is in.
    UniqueHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  offset ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file)
        return DownloadLocalFileError;
    if (offset) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get()))
            return DownloadLocalFileError;
    }

    const uint64_t total = plan.totalKnown ? plan.total : 0;
    uint64_t received = offset;
    reporter.Restart();
    reporter.Report(total, received, true);
    for (;;) {
        const char* data = nullptr;
        DWORD size = 0;
        unsigned read = request.Read(&data, &size);
        if (cancelled)
            return DownloadCancelled;
        if (read != DownloadOk)
            return read;
        if (size == 0)
            break;
        if (plan.totalKnown && size > plan.total - received)
            return DownloadShortBody; // more than announced: the length is not to be trusted
        DWORD written = 0;
        if (!WriteFile(file.Get(), data, size, &written, nullptr) || written != size)
            return DownloadLocalFileError;
        received += size;
        reporter.Report(total, received, false);
    }
    if (plan.totalKnown && received != plan.total)
        return DownloadShortBody;
    file.Reset(); // closed before anybody is told the file is complete
    reporter.Report(received, received, true);
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
