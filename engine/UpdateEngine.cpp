#include "UpdateEngine.h"

#include "CompletionTokens.h"
#include "FolderPath.h"
#include "HttpDownload.h"
#include "Messages.h"
#include "ReleaseTrust.h"
#include "SafeFiles.h"
#include "Staging.h"
#include "VersionCheck.h"
#include "framework/Thread.h"

#include <algorithm>
#include <mutex>
#include <vector>

// What the engine and its worker threads share. Every thread holds a reference,
// so this lives until the last of them has finished.
struct CUpdateEngine::Shared {
    LaunchValues launch;
    HWND window = nullptr;
    CUpdateEngine::TransferLimits limits;

    std::mutex mutex;     // guards everything below
    unsigned attempt = 0; // the current attempt's serial number
    PendingDownloadList pending;
    CompletionTokens completions; // what the current attempt still awaits
    bool cancelled = false;
    std::vector<CHttpDownload*> transfers; // running transfers, for Cancel
    std::vector<HANDLE> threads;           // every worker started, until Shutdown
    bool stageCleared = false;             // the silent stage was emptied in this run

    // Starts a worker unless the engine is shutting down.
    bool StartThread(AFX_THREADPROC proc, void* param) {
        std::lock_guard lock(mutex);
        if (cancelled)
            return false;
        // Forget the workers of earlier attempts that have ended.
        std::erase_if(threads, [](HANDLE t) {
            if (WaitForSingleObject(t, 0) != WAIT_OBJECT_0)
                return false;
            CloseHandle(t);
            return true;
        });
        UniqueHandle thread = AfxBeginThread(proc, param);
        if (!thread)
            return false;
        threads.push_back(thread.Release());
        return true;
    }

    // A transfer registered here is cancelled by Shutdown, also when it
    // registers after Shutdown began.
    void Register(CHttpDownload* transfer) {
        std::lock_guard lock(mutex);
        transfers.push_back(transfer);
        if (cancelled)
            transfer->Cancel();
    }
    void Unregister(CHttpDownload* transfer) {
        std::lock_guard lock(mutex);
        transfers.erase(std::remove(transfers.begin(), transfers.end(), transfer), transfers.end());
    }
    bool Cancelled() {
        std::lock_guard lock(mutex);
        return cancelled;
    }
};

namespace {

struct VersionCheckArgs {
    std::shared_ptr<CUpdateEngine::Shared> shared;
    BOOL resume;
    unsigned attempt;
    LPARAM token; // carried by the message that reports a failed check
};

struct DownloadArgs {
    std::shared_ptr<CUpdateEngine::Shared> shared;
    PendingDownload entry; // the worker's own copy
    BOOL resume;
    LPARAM token; // carried by the worker's completion message
};

// One transfer with the component within `limits`, registered for cancellation.
unsigned Transfer(CUpdateEngine::Shared& shared, CHttpDownload& transfer, const char* url,
                  const char* path, int flag, const DownloadLimits& limits) {
    transfer.SetLimits(limits);
    shared.Register(&transfer);
    unsigned result = transfer.Download(url, path, flag);
    shared.Unregister(&transfer);
    return result;
}

UINT ModuleDownloadThread(void* param) {
    std::unique_ptr<DownloadArgs> args(static_cast<DownloadArgs*>(param));
    CUpdateEngine::Shared& shared = *args->shared;
    const LaunchValues& launch = shared.launch;
    CString target = StagingTarget(launch.mode, launch.programDir, args->entry.localName);
    MakeSurePathExists(target);
    bool safe = CheckWriteTarget(StagingFolder(launch.mode, launch.programDir), target);

    std::unique_ptr<CHttpDownload> transfer(safe ? CHttpDownload::NewInstance() : nullptr);
    unsigned result = safe ? DownloadConnectFailed : kResultUnsafeStaging;
    if (transfer) {
        transfer->SetNotifyWnd(shared.window, static_cast<UINT>(args->entry.messageId), -1, -1, -1,
                               1);
        if (!args->resume)
            DeleteFileA(target);
        result = Transfer(shared, *transfer, args->entry.url, target, 0, shared.limits.module);
        transfer.reset();
        if ((result == 0 || result == 1) &&
            (!StagedFileMatches(target, args->entry.listedDigest) ||
             !MatchesSignedFile(target, args->entry.signedSize, args->entry.signedSha256))) {
            DeleteFileA(target);
            result = kResultDigestMismatch;
        }
    }
    // Without a component the attempt still learns of this module's failure, so
    // that it completes instead of waiting for ever.
    PostMessageA(shared.window, WM_DOWNLOAD_DONE, result, args->token);
    return result;
}

// A silent attempt that stages anew empties the stage first, so that the
// marker it may write vouches only for what it fetched. An automatic retry
// keeps what an earlier attempt of this run staged, to resume it.
bool PrepareSilentStage(CUpdateEngine::Shared& shared, BOOL resume) {
    {
        std::lock_guard lock(shared.mutex);
        if (resume && shared.stageCleared)
            return true;
    }
    bool cleared = ClearSilentStage(shared.launch.programDir);
    std::lock_guard lock(shared.mutex);
    shared.stageCleared = cleared;
    return cleared;
}

UINT VersionCheckThread(void* param) {
    std::unique_ptr<VersionCheckArgs> args(static_cast<VersionCheckArgs*>(param));
    std::shared_ptr<CUpdateEngine::Shared> shared = args->shared;
    const LaunchValues& launch = shared->launch;
    CString digestList = launch.programDir + kDigestListName;

    unsigned result = DownloadConnectFailed;
    if (std::unique_ptr<CHttpDownload> transfer{CHttpDownload::NewInstance()})
        result = Transfer(*shared, *transfer, (launch.baseUrl + "ModelMD5.dll").c_str(), digestList,
                          1, shared->limits.list);
    // With a publisher's key, a list that is not signed, current and new
    // enough is no list at all.
    const std::vector<PublicKey> keys = LoadPublisherKeys();
    SignedList signedList;
    if (result == 0 &&
        (!IsDigestList(digestList) ||
         (!keys.empty() && !AcceptSignedList(digestList, launch.programDir, keys, signedList)))) {
        DeleteFileA(digestList);
        result = DownloadHttpError;
    }
    if (result != 0) {
        if (!shared->Cancelled())
            PostMessageA(shared->window, WM_DOWNLOAD_DONE, result, args->token);
        return 1;
    }

    PendingDownloadList list = CheckModules(launch, digestList);
    if (!keys.empty())
        BindSignedValues(signedList, list);
    DeleteFileA(digestList);
    if (launch.mode == ModeSilent && !PrepareSilentStage(*shared, args->resume)) {
        PostMessageA(shared->window, WM_DOWNLOAD_DONE, kResultUnsafeStaging, args->token);
        return 1;
    }
    std::vector<std::unique_ptr<DownloadArgs>> workers;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->attempt != args->attempt)
            return 1; // a later attempt has begun; this one starts nothing
        shared->pending = list;
        shared->completions.Redeem(args->token); // from now on the workers report
        for (const PendingDownload& entry : list)
            workers.push_back(std::make_unique<DownloadArgs>(DownloadArgs{
                shared, entry, args->resume, shared->completions.Issue(CompletionKind::Download)}));
    }
    for (std::unique_ptr<DownloadArgs>& worker : workers) {
        if (!shared->StartThread(&ModuleDownloadThread, worker.get()))
            break;
        worker.release(); // the thread owns it now
    }
    return 1;
}

} // namespace

CUpdateEngine::CUpdateEngine(const LaunchValues& launch) : shared(std::make_shared<Shared>()) {
    shared->launch = launch;
}

CUpdateEngine::~CUpdateEngine() {
    Shutdown();
}

void CUpdateEngine::SetWindow(HWND window) {
    shared->window = window;
}

void CUpdateEngine::SetTransferLimits(const TransferLimits& limits) {
    shared->limits = limits;
}

const LaunchValues& CUpdateEngine::Launch() const {
    return shared->launch;
}

void CUpdateEngine::StartUpdateAttempt(BOOL resume) {
    book.Begin(resume);
    auto* args = new VersionCheckArgs{shared, resume, 0, 0};
    {
        std::lock_guard lock(shared->mutex);
        shared->pending.clear();
        shared->completions.Clear();
        args->attempt = ++shared->attempt;
        args->token = shared->completions.Issue(CompletionKind::VersionCheck);
    }
    if (!shared->StartThread(&VersionCheckThread, args))
        delete args;
}

AttemptVerdict CUpdateEngine::OnDownloadDone(WPARAM wParam, LPARAM lParam) {
    std::optional<CompletionKind> kind;
    size_t pendingCount;
    {
        std::lock_guard lock(shared->mutex);
        kind = shared->completions.Redeem(lParam);
        pendingCount = shared->pending.size();
    }
    if (!kind)
        return AttemptVerdict::Running; // not a completion this attempt awaits
    return book.Record(wParam, *kind == CompletionKind::VersionCheck ? kVersionCheckFailed : 0,
                       pendingCount);
}

std::vector<LPARAM> CUpdateEngine::AwaitedCompletions() const {
    std::lock_guard lock(shared->mutex);
    return shared->completions.Awaited();
}

size_t CUpdateEngine::PendingCount() const {
    std::lock_guard lock(shared->mutex);
    return shared->pending.size();
}

PendingDownloadList CUpdateEngine::Pending() const {
    std::lock_guard lock(shared->mutex);
    return shared->pending;
}

bool CUpdateEngine::Shutdown(DWORD waitMs) {
    std::vector<HANDLE> threads;
    {
        std::lock_guard lock(shared->mutex);
        shared->cancelled = true;
        for (CHttpDownload* transfer : shared->transfers)
            transfer->Cancel();
        threads.swap(shared->threads);
    }
    bool allEnded = WaitAllDispatchingSent(threads.data(), threads.size(), waitMs);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    return allEnded;
}
