// The digests of the installed modules, computed on threads of their own from
// the moment an attempt begins: they do not depend on the server's list, so
// they are ready, or nearly, when the list arrives. kThreads threads take the
// modules in table order, each the next one not yet taken, so the version
// check can compare (and start fetching) the first modules while later ones
// are still being read. When the caller names an event that says its list
// request has gone out, the threads begin once it is set (or kHoldMs have
// passed): until then they would only slow down setting up that request on a
// machine with few processors, and the list's round trip still lies ahead.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class InstalledDigests {
public:
    static constexpr int kThreads = 2;
    // The longest the threads wait for the request to go out.
    static constexpr DWORD kHoldMs = 250;

    using DigestFunction = std::string (*)(const char* path);

    // Starts digesting the local file of every row of the module table, under
    // `programDir`. `digest` computes one file's digest (the empty string when
    // the file is missing or unreadable); tests pass their own. `requestSent`
    // (a manual-reset event, or null) holds the threads back (see above).
    explicit InstalledDigests(const CString& programDir, DigestFunction digest = &KeyedDigest,
                              HANDLE requestSent = nullptr);
    // Stops after the files in progress and waits for the threads.
    ~InstalledDigests();
    InstalledDigests(const InstalledDigests&) = delete;
    InstalledDigests& operator=(const InstalledDigests&) = delete;

    // The digest of row `row`'s installed file, waiting until it is known.
    std::string Get(int row);

    static std::string KeyedDigest(const char* path);

private:
    void Run(CString programDir, DigestFunction digest, HANDLE holdUntil);

    std::mutex mutex;
    std::condition_variable ready;
    std::vector<std::optional<std::string>> digests;
    int nextRow = 0; // the first row no thread has taken
    bool stopping = false;
    std::vector<std::thread> workers;
};
