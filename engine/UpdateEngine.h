// CUpdateEngine runs update attempts for the window that owns the update (the
// update dialog): the version check thread, one download thread per differing
// module, and the attempt bookkeeping. Worker threads reach the window only
// through messages (progress reports sent by the download component,
// WM_DOWNLOAD_DONE posted); the window's handlers call OnDownloadDone. Each
// completion carries a token the engine gave its worker, so that messages
// other programs post to the window count for nothing.
//
// Lifetime: the threads share the engine's state through a reference, so none
// of them touches freed memory whatever ends first. Shutdown (also run by the
// destructor) cancels every transfer and waits, within a bound, for every
// thread while delivering the messages they send.
#pragma once

#include "Attempt.h"
#include "DownloadLimits.h"
#include "LaunchValues.h"
#include "ModuleTable.h"
#include "PendingDownload.h"

#include <windows.h>

#include <memory>
#include <vector>

class CUpdateEngine {
public:
    static constexpr DWORD kShutdownWaitMs = 5000;

    explicit CUpdateEngine(const LaunchValues& launch);
    ~CUpdateEngine();
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // The window that receives the workers' messages, set once. An attempt
    // may start before it is known: its version check fetches the digest list
    // and digests the installed files meanwhile, then waits for the window
    // before it reports or starts a download.
    void SetWindow(HWND window);

    // What the transfers may write, per kind of file: the digest list, and
    // each module. The product's limits unless changed before the first attempt.
    struct TransferLimits {
        DownloadLimits list = kListLimits;
        DownloadLimits module = kModuleLimits;
    };
    void SetTransferLimits(const TransferLimits& limits);
    const LaunchValues& Launch() const;

    // Starts an attempt: resume flag, counters and pending list reset, attempt
    // count raised, state Updating, then the version check thread. In silent
    // mode the version check empties the stage (marker first) once it has
    // accepted the digest list, unless this is a retry resuming this run's
    // stage; a list that cannot be fetched leaves an earlier stage whole.
    void StartUpdateAttempt(BOOL resume);
    // Waits up to `waitMs` until the current attempt's request for the digest
    // list is on its way to the server (or its transfer has ended); false when
    // the time ran out first.
    bool WaitForListRequest(DWORD waitMs) const;

    // Counts one WM_DOWNLOAD_DONE (on the owner's thread) and says what follows.
    // Only a message that carries a token this attempt still awaits counts, and
    // only once; any other changes nothing (Running).
    AttemptVerdict OnDownloadDone(WPARAM wParam, LPARAM lParam);
    // The tokens the current attempt still awaits (tests stand in for workers
    // with them).
    std::vector<LPARAM> AwaitedCompletions() const;

    // The pending-download list of the current attempt. Workers start while the
    // version check is still adding to it, but none reports before it is
    // complete. PendingCount is its length once complete and kListIncomplete
    // until then: more entries than any list holds, so no count of reports
    // can match it early.
    static constexpr size_t kListIncomplete = kModuleCount + 1;
    size_t PendingCount() const;
    PendingDownloadList Pending() const;

    // Ends every transfer and waits up to `waitMs` for the threads.
    // Returns true when they all ended.
    bool Shutdown(DWORD waitMs = kShutdownWaitMs);

    AttemptBook book;

    // The state shared with the worker threads (defined with them).
    struct Shared;

private:
    std::shared_ptr<Shared> shared;
};
