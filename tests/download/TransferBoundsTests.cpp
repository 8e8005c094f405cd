// What a transfer may write, when a trickle counts as stopped, and which
// time-out bounds each stage of a request.
#include "engine/DownloadLimits.h"
#include "engine/HttpDownload.h"
#include "engine/RequestStage.h"
#include "engine/TrickleWatch.h"

#include <gtest/gtest.h>
#include <wininet.h>

namespace {

constexpr DownloadLimits kSmall{4 * kMiB, 4 * kMiB, 64 * kMiB};
constexpr uint64_t kPlenty = 100000 * kMiB;

TEST(PermitWrite, SizeBoundsPerKind) {
    // Announced: refused before writing when above the bound, else exactly that size.
    EXPECT_EQ(DownloadTooLarge, PermitWrite(kSmall, true, 4 * kMiB + 1, 0, kPlenty).refusal);
    WritePermit p = PermitWrite(kSmall, true, 4 * kMiB, 0, kPlenty);
    EXPECT_EQ(0u, p.refusal);
    EXPECT_EQ(4 * kMiB, p.maxTotal);

    // Unannounced: the body may run up to the bound, then fails as too large.
    p = PermitWrite(kSmall, false, 0, 0, kPlenty);
    EXPECT_EQ(0u, p.refusal);
    EXPECT_EQ(4 * kMiB, p.maxTotal);
    EXPECT_EQ(DownloadTooLarge, p.overflow);

    // A module: any announced size, 512 MiB without one.
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 3000 * kMiB, 0, kPlenty).refusal);
    EXPECT_EQ(512 * kMiB, PermitWrite(kModuleLimits, false, 0, 0, kPlenty).maxTotal);
    EXPECT_EQ(512 * kMiB, PermitWrite(kModuleLimits, false, 0, 0, std::nullopt).maxTotal);
}

TEST(PermitWrite, FreeSpaceFloor) {
    const uint64_t free = 100 * kMiB; // 36 MiB above the floor
    // An announced size counts in full; bytes already held do not.
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 36 * kMiB, 0, free).refusal);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(kModuleLimits, true, 36 * kMiB + 1, 0, free).refusal);
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 50 * kMiB, 14 * kMiB, free).refusal);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(kModuleLimits, true, 1, 0, 64 * kMiB - 1).refusal);

    // Unannounced: only down to the floor, and past that it is a lack of space.
    WritePermit p = PermitWrite(kModuleLimits, false, 0, 0, free);
    EXPECT_EQ(0u, p.refusal);
    EXPECT_EQ(36 * kMiB, p.maxTotal);
    EXPECT_EQ(DownloadNoSpace, p.overflow);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(kModuleLimits, false, 0, 0, 10 * kMiB).refusal);
    // Where the size bound comes first, it stays the reason.
    EXPECT_EQ(DownloadTooLarge, PermitWrite(kSmall, false, 0, 0, free).overflow);

    // A floor above everything the volume has refuses every write.
    DownloadLimits full = kModuleLimits;
    full.freeSpaceFloor = kNoBound;
    EXPECT_EQ(DownloadNoSpace, PermitWrite(full, true, 0, 0, kPlenty).refusal);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(full, false, 0, 0, kPlenty).refusal);
}

TEST(TrickleWatch, FewerThanTheMinimumInAnyWindowIsTooSlow) {
    // 1 KiB per 60 s, started at 1000.
    TrickleWatch w(60000, 1024, 1000);
    EXPECT_EQ(60000u, w.MsLeft(1000));
    // A byte every 5 s never reaches 1 KiB in a minute.
    uint64_t t = 1000;
    for (; t < 61000; t += 5000) {
        EXPECT_FALSE(w.TooSlow(t)) << t;
        w.Add(1, t);
    }
    EXPECT_TRUE(w.TooSlow(61000));
    EXPECT_EQ(0u, w.MsLeft(61000));

    // 1 KiB at once keeps it alive for a window from its arrival, but only
    // while it is among the latest 1 KiB.
    TrickleWatch v(60000, 1024, 0);
    v.Add(1024, 10000);
    EXPECT_FALSE(v.TooSlow(69999));
    EXPECT_EQ(60000u, v.MsLeft(10000));
    v.Add(512, 50000); // the latest 1 KiB began arriving at 10000
    EXPECT_TRUE(v.TooSlow(70000));
    v.Add(512, 60000); // now the latest 1 KiB arrived at 50000 and 60000
    EXPECT_FALSE(v.TooSlow(109999));
    EXPECT_TRUE(v.TooSlow(110000));
}

TEST(TrickleWatch, ASteadySlowTransferLivesAndZeroDisablesTheWatch) {
    TrickleWatch w(60000, 1024, 0);
    for (uint64_t t = 0; t < 600000; t += 1000)
        w.Add(20, t); // 1200 bytes a minute
    EXPECT_FALSE(w.TooSlow(600000));

    TrickleWatch off(0, 1024, 0);
    off.Add(1, 5);
    EXPECT_FALSE(off.TooSlow(UINT64_MAX - 1));
    EXPECT_EQ(UINT64_MAX, off.MsLeft(10));
}

TEST(RequestStage, WaitingForAConnectionIsNotTimedLikeTheServer) {
    const DownloadTimeouts t{2000, 700, 0, 0};
    RequestStage s = RequestStage::Waiting;
    for (DWORD status : {INTERNET_STATUS_RESOLVING_NAME, INTERNET_STATUS_NAME_RESOLVED,
                         INTERNET_STATUS_HANDLE_CREATED})
        EXPECT_EQ(RequestStage::Waiting, s = StageAfter(s, status)) << status;
    EXPECT_EQ(kConnectionWaitMs, StageLimitMs(s, t));
    EXPECT_GT(kConnectionWaitMs, t.connectMs + t.receiveMs);

    s = StageAfter(s, INTERNET_STATUS_CONNECTING_TO_SERVER);
    EXPECT_EQ(RequestStage::Connecting, s);
    s = StageAfter(s, INTERNET_STATUS_CONNECTED_TO_SERVER); // TLS may follow
    EXPECT_EQ(2000u, StageLimitMs(s, t));
    s = StageAfter(s, INTERNET_STATUS_SENDING_REQUEST);
    EXPECT_EQ(RequestStage::Connected, s);
    EXPECT_EQ(700u, StageLimitMs(s, t));
    // Never back, whatever comes late.
    EXPECT_EQ(RequestStage::Connected, StageAfter(s, INTERNET_STATUS_CONNECTING_TO_SERVER));

    // A connection kept from an earlier request goes straight to sending.
    EXPECT_EQ(RequestStage::Connected,
              StageAfter(RequestStage::Waiting, INTERNET_STATUS_SENDING_REQUEST));
}

} // namespace
