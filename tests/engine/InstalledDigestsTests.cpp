#include "TempFolder.h"
#include "engine/Digest.h"
#include "engine/InstalledDigests.h"
#include "engine/ModuleTable.h"
#include "engine/VersionCheck.h"
#include "framework/Handles.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Every row's digest is that of its own installed file (the host's for
// "Nirvek"), a missing file's the empty one, whatever order they are asked in;
// and the comparison made from them lists what CheckModule lists.
TEST(InstalledDigests, EachRowGetsItsOwnFilesDigest) {
    TempFolder folder;
    for (const ModuleRow& m : kModuleTable)
        if (std::string(m.name) != "Kavrel")
            WriteFileBytes(folder / m.localFile, std::string(3000, 'x') + m.localFile);
    LaunchValues launch;
    launch.baseUrl = "http://server/";
    launch.programDir = folder.Path();
    WriteFileBytes(
        folder / "Version.tmp",
        "[ModuleVersion]\r\nQuorvel=" + ComputeFileDigest(folder / "Quorvel.dll", kDigestKey) +
            "\r\nNirvek=00000000000000000000000000000000\r\n");

    InstalledDigests digests(folder.Path());
    PendingDownloadList compared, checked;
    for (int row = kModuleCount - 1; row >= 0; --row) {
        const ModuleRow& m = kModuleTable[row];
        std::string expected = std::string(m.name) == "Kavrel"
                                   ? std::string()
                                   : ComputeFileDigest(folder / m.localFile, kDigestKey);
        EXPECT_EQ(expected, digests.Get(row)) << m.name;
    }
    for (int row = 0; row < kModuleCount; ++row) {
        if (auto entry =
                CompareModule(launch, kModuleTable[row], folder / "Version.tmp", digests.Get(row)))
            compared.push_back(*entry);
    }
    checked = CheckModules(launch, folder / "Version.tmp");
    ASSERT_EQ(checked.size(), compared.size());
    ASSERT_EQ(13u, compared.size()); // all but Quorvel (same) and Kavrel (missing, unlisted)
    for (size_t i = 0; i < checked.size(); ++i) {
        EXPECT_EQ(checked[i].localName, compared[i].localName);
        EXPECT_EQ(checked[i].url, compared[i].url);
        EXPECT_EQ(checked[i].messageId, compared[i].messageId);
        EXPECT_EQ(checked[i].listedDigest, compared[i].listedDigest);
    }
}

std::atomic<int> calls{0};
std::string CountedDigest(const char*) {
    ++calls;
    return "d";
}

// Held back by the request's event, the threads read nothing until it is set,
// and they do not wait for it for ever.
TEST(InstalledDigests, NothingIsReadBeforeTheRequestHasGoneOutAndTheWaitIsBounded) {
    TempFolder folder;
    UniqueHandle sent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    calls = 0;
    {
        InstalledDigests digests(folder.Path(), &CountedDigest, sent.Get());
        Sleep(30);
        EXPECT_EQ(0, calls.load());
        SetEvent(sent.Get());
        EXPECT_EQ("d", digests.Get(kModuleCount - 1));
    }
    ResetEvent(sent.Get());
    InstalledDigests neverSent(folder.Path(), &CountedDigest, sent.Get());
    EXPECT_EQ("d", neverSent.Get(kModuleCount - 1));
    EXPECT_EQ(2 * kModuleCount, calls.load());
}

} // namespace
