#include "InstalledDigests.h"

#include "Digest.h"
#include "ModuleTable.h"

InstalledDigests::InstalledDigests(const CString& programDir, DigestFunction digest,
                                   HANDLE requestSent)
    : digests(kModuleCount) {
    for (int i = 0; i < kThreads; ++i)
        workers.emplace_back(&InstalledDigests::Run, this, programDir, digest, requestSent);
}

InstalledDigests::~InstalledDigests() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    for (std::thread& worker : workers)
        worker.join();
}

std::string InstalledDigests::KeyedDigest(const char* path) {
    return ComputeFileDigest(path, kDigestKey);
}

void InstalledDigests::Run(CString programDir, DigestFunction digest, HANDLE holdUntil) {
    if (holdUntil)
        WaitForSingleObject(holdUntil, kHoldMs);
    for (;;) {
        int row;
        {
            std::lock_guard lock(mutex);
            if (stopping || nextRow == kModuleCount)
                return;
            row = nextRow++;
        }
        std::string value = digest((programDir + kModuleTable[row].localFile).c_str());
        std::lock_guard lock(mutex);
        digests[row] = std::move(value);
        ready.notify_all();
    }
}

std::string InstalledDigests::Get(int row) {
    std::unique_lock lock(mutex);
    ready.wait(lock, [&] { return digests[row].has_value(); });
    return *digests[row];
}
