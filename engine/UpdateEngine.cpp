#include "UpdateEngine.h"

#include "CompletionTokens.h"
#include "FolderPath.h"
#include "HttpDownload.h"
#include "InstalledDigests.h"
#include "ListGate.h"
#include "Messages.h"
#include "ModuleTable.h"
#include "ReleaseTrust.h"
#include "SafeFiles.h"
#include "Staging.h"
#include "VersionCheck.h"
#include "framework/Thread.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

// What the engine and its worker threads share. Every thread holds a reference,
// so this lives until the last of them has finished.
struct CUpdateEngine::Shared {
    LaunchValues launch;
    CUpdateEngine::TransferLimits limits;
    // Set once the current attempt's digest list request is on its way, or
    // its transfer has ended.
    UniqueHandle listUnderway{CreateEventA(nullptr, TRUE, FALSE, nullptr)};

    std::mutex mutex;      // guards everything below
    HWND window = nullptr; // read without the mutex once WaitForWindow has seen it
    std::condition_variable windowSet;
    unsigned attempt = 0; // the current attempt's serial number
    PendingDownloadList pending;
    bool listComplete = false;    // the version check has added every entry to `pending`
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
    // True once the window is set; false when the engine shuts down first.
    bool WaitForWindow() {
        std::unique_lock lock(mutex);
        windowSet.wait(lock, [this] { return window || cancelled; });
        return !cancelled;
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
    LPARAM token;                         // carried by the worker's completion message
    std::shared_ptr<const ListGate> gate; // open once the attempt's list is complete
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
    args->gate->Wait();
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

// Opens the gate of an attempt's workers however the version check ends.
struct GateOpener {
    std::shared_ptr<ListGate> gate = std::make_shared<ListGate>();
    ~GateOpener() { gate->Open(); }
};

// Compares the modules in table order as their digests become known and starts
// each differing module's worker at once; the workers report only once the
// gate opens, after the last comparison. With a `signedList`, each module
// must arrive with the size and SHA-256 it names.
void CompareAndStart(const std::shared_ptr<CUpdateEngine::Shared>& shared,
                     const VersionCheckArgs& args, const char* digestList,
                     InstalledDigests& digests, const SignedList* signedList) {
    GateOpener opener;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->attempt != args.attempt)
            return; // a later attempt has begun; this one starts nothing
        shared->completions.Redeem(args.token); // from now on the workers report
    }
    for (int row = 0; row < kModuleCount; ++row) {
        std::optional<PendingDownload> entry =
            CompareModule(shared->launch, kModuleTable[row], digestList, digests.Get(row));
        if (!entry)
            continue;
        if (signedList)
            BindSignedValues(*signedList, *entry);
        auto worker = std::make_unique<DownloadArgs>(
            DownloadArgs{shared, *entry, args.resume, 0, opener.gate});
        {
            std::lock_guard lock(shared->mutex);
            if (shared->attempt != args.attempt)
                return;
            shared->pending.push_back(*entry);
            worker->token = shared->completions.Issue(CompletionKind::Download);
        }
        if (!shared->StartThread(&ModuleDownloadThread, worker.get()))
            return;
        worker.release(); // the thread owns it now
    }
    std::lock_guard lock(shared->mutex);
    if (shared->attempt == args.attempt)
        shared->listComplete = true;
}

UINT VersionCheckThread(void* param) {
    std::unique_ptr<VersionCheckArgs> args(static_cast<VersionCheckArgs*>(param));
    std::shared_ptr<CUpdateEngine::Shared> shared = args->shared;
    const LaunchValues& launch = shared->launch;
    CString digestList = launch.programDir + kDigestListName;
    // The installed files are read while the list is on its way.
    InstalledDigests digests(launch.programDir, &InstalledDigests::KeyedDigest,
                             shared->listUnderway.Get());

    unsigned result = DownloadConnectFailed;
    if (std::unique_ptr<CHttpDownload> transfer{CHttpDownload::NewInstance()}) {
        transfer->SetUnderwayEvent(shared->listUnderway.Get());
        result = Transfer(*shared, *transfer, (launch.baseUrl + "ModelMD5.dll").c_str(), digestList,
                          1, shared->limits.list);
    }
    SetEvent(shared->listUnderway.Get());
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
    // Whatever follows reports to the window, and the workers report to it too.
    if (!shared->WaitForWindow()) {
        DeleteFileA(digestList);
        return 1;
    }
    if (result != 0) {
        if (!shared->Cancelled())
            PostMessageA(shared->window, WM_DOWNLOAD_DONE, result, args->token);
        return 1;
    }

    // The stage is emptied before any worker may write into it.
    if (launch.mode == ModeSilent && !PrepareSilentStage(*shared, args->resume)) {
        DeleteFileA(digestList);
        PostMessageA(shared->window, WM_DOWNLOAD_DONE, kResultUnsafeStaging, args->token);
        return 1;
    }
    CompareAndStart(shared, *args, digestList, digests, keys.empty() ? nullptr : &signedList);
    DeleteFileA(digestList);
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
    {
        std::lock_guard lock(shared->mutex);
        shared->window = window;
    }
    shared->windowSet.notify_all();
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
        shared->listComplete = false;
        shared->completions.Clear();
        args->attempt = ++shared->attempt;
        args->token = shared->completions.Issue(CompletionKind::VersionCheck);
        ResetEvent(shared->listUnderway.Get());
    }
    if (!shared->StartThread(&VersionCheckThread, args))
        delete args;
}

bool CUpdateEngine::WaitForListRequest(DWORD waitMs) const {
    return WaitForSingleObject(shared->listUnderway.Get(), waitMs) == WAIT_OBJECT_0;
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
    return shared->listComplete ? shared->pending.size() : kListIncomplete;
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
    shared->windowSet.notify_all();
    bool allEnded = WaitAllDispatchingSent(threads.data(), threads.size(), waitMs);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    return allEnded;
}
