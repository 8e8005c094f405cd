// What a transfer may write, when a trickle counts as stopped, and which
// time-out bounds each stage of a request.
#include "engine/DownloadLimits.h"
#include "engine/HttpDownload.h"
#include "engine/RequestStage.h"
#include "engine/TrickleWatch.h"

#include <gtest/gtest.h>
#include <wininet.h>

namespace {

constexpr uint64_t kPlenty = 100000 * kMiB;

TEST(PermitWrite, SizeBoundsPerKind) {
    // A stated size above the bound is refused before writing; without one
    // the body may run up to the bound.
    EXPECT_EQ(DownloadTooLarge, PermitWrite(kListLimits, true, 4 * kMiB + 1, 0, kPlenty).refusal);
    EXPECT_EQ(4 * kMiB, PermitWrite(kListLimits, true, 4 * kMiB, 0, kPlenty).maxTotal);
    WritePermit p = PermitWrite(kListLimits, false, 0, 0, std::nullopt);
    EXPECT_EQ(4 * kMiB, p.maxTotal);
    EXPECT_EQ(DownloadTooLarge, p.overflow);
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 3000 * kMiB, 0, kPlenty).refusal);
    EXPECT_EQ(512 * kMiB, PermitWrite(kModuleLimits, false, 0, 0, kPlenty).maxTotal);
}

TEST(PermitWrite, FreeSpaceFloor) {
    const uint64_t free = 100 * kMiB; // 36 MiB above the floor
    // A stated size counts in full; bytes already held do not.
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 36 * kMiB, 0, free).refusal);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(kModuleLimits, true, 36 * kMiB + 1, 0, free).refusal);
    EXPECT_EQ(0u, PermitWrite(kModuleLimits, true, 50 * kMiB, 14 * kMiB, free).refusal);
    EXPECT_EQ(DownloadNoSpace, PermitWrite(kModuleLimits, true, 0, 0, 64 * kMiB - 1).refusal);
    // Without a stated size: down to the floor, then a lack of space - unless
    // the size bound comes first.
    WritePermit p = PermitWrite(kModuleLimits, false, 0, 0, free);
    EXPECT_EQ(36 * kMiB, p.maxTotal);
    EXPECT_EQ(DownloadNoSpace, p.overflow);
    EXPECT_EQ(DownloadTooLarge, PermitWrite(kListLimits, false, 0, 0, free).overflow);
}

TEST(TrickleWatch, FewerThanTheMinimumInAnyWindowIsTooSlow) {
    TrickleWatch w(60000, 1024, 1000); // 1 KiB per minute, started at 1000
    for (uint64_t t = 1000; t < 61000; t += 5000)
        w.Add(1, t); // a byte every 5 s
    EXPECT_FALSE(w.TooSlow(60999));
    EXPECT_TRUE(w.TooSlow(61000));

    // Alive for a window from the arrival of the oldest of the latest 1 KiB.
    TrickleWatch v(60000, 1024, 0);
    v.Add(1024, 10000);
    EXPECT_EQ(60000u, v.MsLeft(10000));
    v.Add(512, 50000);
    EXPECT_TRUE(v.TooSlow(70000));
    v.Add(512, 60000);
    EXPECT_FALSE(v.TooSlow(109999));
    EXPECT_TRUE(v.TooSlow(110000));

    TrickleWatch off(0, 1024, 0);
    EXPECT_EQ(UINT64_MAX, off.MsLeft(10));
}

TEST(RequestStage, WaitingForAConnectionIsNotTimedLikeTheServer) {
    const DownloadTimeouts t{2000, 700, 0, 0};
    RequestStage s = StageAfter(RequestStage::Waiting, INTERNET_STATUS_RESOLVING_NAME);
    EXPECT_EQ(kConnectionWaitMs, StageLimitMs(s, t));
    s = StageAfter(s, INTERNET_STATUS_CONNECTING_TO_SERVER);
    s = StageAfter(s, INTERNET_STATUS_CONNECTED_TO_SERVER); // a TLS handshake may follow
    EXPECT_EQ(2000u, StageLimitMs(s, t));
    s = StageAfter(s, INTERNET_STATUS_SENDING_REQUEST);
    EXPECT_EQ(700u, StageLimitMs(s, t));
    EXPECT_EQ(s, StageAfter(s, INTERNET_STATUS_CONNECTING_TO_SERVER)); // never back
    // A connection kept from an earlier request goes straight to sending.
    EXPECT_EQ(RequestStage::Connected,
              StageAfter(RequestStage::Waiting, INTERNET_STATUS_SENDING_REQUEST));
}

} // namespace
