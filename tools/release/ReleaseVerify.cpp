#include "ReleaseVerify.h"

#include "ReleaseCrypto.h"
#include "engine/Digest.h"
#include "engine/ModuleTable.h"

#include <cstdio>
#include <ctime>

namespace {

class Report {
public:
    void Problem(const std::string& text) {
        std::printf("PROBLEM: %s\n", text.c_str());
        ++problems_;
    }
    int problems() const { return problems_; }

private:
    int problems_ = 0;
};

void CheckFile(const std::string& source, const std::string& remoteName, const ReleaseFile& entry,
               const std::string* keyedDigest, Report& report) {
    std::string bytes;
    if (!FetchReleaseFile(source, remoteName, bytes))
        return report.Problem(remoteName + ": cannot be fetched");
    if (static_cast<int64_t>(bytes.size()) != entry.size)
        report.Problem(remoteName + ": " + std::to_string(bytes.size()) + " bytes, the list says " +
                       std::to_string(entry.size));
    if (Sha256Hex(bytes) != entry.sha256)
        report.Problem(remoteName + ": SHA-256 differs from the list");
    if (keyedDigest && ComputeDigest(reinterpret_cast<const unsigned char*>(bytes.data()),
                                     bytes.size(), kDigestKey) != *keyedDigest)
        report.Problem(remoteName + ": keyed digest differs from ModuleVersion");
}

void CheckList(const SignedList& list, const PublicKey& key, Report& report) {
    if (!VerifyBytes(key, list.signedBytes, list.signature))
        report.Problem("ModelMD5.dll: the signature does not verify with this key");
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (CheckListAge(list, now, 0) == ListAge::Expired)
        report.Problem("ModelMD5.dll: expired at " + FormatUtcTime(list.expires));
    else if (now > list.expires)
        report.Problem("ModelMD5.dll: expired at " + FormatUtcTime(list.expires) +
                       " (clients still accept it for 24 hours)");
    std::printf("serial %llu, expires %s\n", static_cast<unsigned long long>(list.serial),
                FormatUtcTime(list.expires).c_str());
}

} // namespace

bool VerifyRelease(const std::string& source, const PublicKey& key) {
    Report report;
    std::string text, error;
    SignedList list;
    if (!FetchReleaseFile(source, "ModelMD5.dll", text))
        report.Problem("ModelMD5.dll: cannot be fetched");
    else if (!ParseSignedList(text, list, error))
        report.Problem("ModelMD5.dll: not a signed list: " + error);
    else
        CheckList(list, key, report);
    for (const ModuleRow& row : kModuleTable) {
        const ReleaseFile* entry = list.FindFile(row.name);
        const ListedModule* listed = nullptr;
        for (const ListedModule& module : list.modules)
            if (module.name == row.name)
                listed = &module;
        if (!entry || !listed) {
            if (!list.modules.empty())
                report.Problem(std::string(row.name) + ": missing from the list");
            continue;
        }
        CheckFile(source, row.remoteFile, *entry, &listed->digest, report);
    }
    if (const ReleaseFile* log = list.FindFile(kChangeLogFileName))
        CheckFile(source, log->name, *log, nullptr, report);
    std::printf("%d problem(s)\n", report.problems());
    return report.problems() == 0;
}
