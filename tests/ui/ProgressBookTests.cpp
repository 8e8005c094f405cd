#include "ui/ProgressBook.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t KiB = 1024;

class Progress : public ::testing::Test {
protected:
    Progress() { ProgressBook::warmUpPosition = 0; }
    ProgressBook book;
};

TEST(ProgressSlot, FifteenDistinctSlotsAndNoneForTheGaps) {
    bool used[kProgressSlots] = {};
    for (unsigned m = 0x400 + 100; m <= 0x400 + 118; ++m) {
        int slot = ProgressSlot(m);
        bool handled = (m >= 0x466 && m <= 0x46E) || (m >= 0x470 && m <= 0x475);
        if (!handled) {
            EXPECT_EQ(-1, slot) << std::hex << m;
            continue;
        }
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, kProgressSlots);
        EXPECT_FALSE(used[slot]) << std::hex << m;
        used[slot] = true;
    }
}

TEST_F(Progress, WorkedExampleOfTwoModules) {
    ProgressStep s = book.Report(0, 10 * KiB, 1 * KiB, 0, 0, 2);
    EXPECT_EQ(ProgressStep::WarmUp, s.kind);
    EXPECT_EQ(1, s.position);

    s = book.Report(1, 20 * KiB, 0, 0, 0, 2);
    EXPECT_EQ(ProgressStep::Display, s.kind);
    EXPECT_EQ(3, s.position);
    EXPECT_EQ(1u, s.receivedKb);
    EXPECT_EQ(30u, s.totalKb);

    s = book.Report(0, 10 * KiB, 10 * KiB, 0, 0, 2);
    EXPECT_EQ(33, s.position);
    EXPECT_EQ(10u, s.receivedKb);
}

TEST_F(Progress, WarmUpShowsOneThenTwoForTheWholeRun) {
    EXPECT_EQ(1, book.Report(0, 100, 1, 0, 0, 3).position);
    EXPECT_EQ(2, book.Report(0, 100, 2, 0, 0, 3).position);
    EXPECT_EQ(2, book.Report(1, 100, 2, 0, 0, 3).position);
    book.Reset(); // a retry
    EXPECT_EQ(2, book.Report(0, 100, 1, 0, 0, 3).position);
}

TEST_F(Progress, EachModuleTotalCountsOnceAndZeroTotalsOnlyStoreBytes) {
    book.Report(0, 0, 500, 0, 0, 1);
    EXPECT_EQ(0, book.reportedCount);
    EXPECT_EQ(500u, book.moduleBytes[0]);
    book.Report(0, 4 * KiB, 1 * KiB, 0, 0, 1);
    ProgressStep s = book.Report(0, 99 * KiB, 2 * KiB, 0, 0, 1);
    EXPECT_EQ(1, book.reportedCount);
    EXPECT_EQ(4 * KiB, book.totalBytes);
    EXPECT_EQ(50, s.position);
}

TEST_F(Progress, FailuresCompleteTheSizesOrFreezeTheWarmUp) {
    // Three modules: one failed without a size, one reported; the third not yet.
    ProgressStep s = book.Report(0, 10 * KiB, 1 * KiB, 0, 1, 3);
    EXPECT_EQ(ProgressStep::Nothing, s.kind);
    // Every module has now reported or failed: the known sizes are shown.
    s = book.Report(1, 10 * KiB, 4 * KiB, 0, 1, 3);
    EXPECT_EQ(ProgressStep::Display, s.kind);
    EXPECT_EQ(25, s.position);
}

TEST_F(Progress, SmallAndHugeCounts) {
    ProgressStep s = book.Report(0, 10 * KiB, 1536, 0, 0, 1);
    EXPECT_EQ(1u, s.receivedKb);
    EXPECT_EQ(10u, s.totalKb);
    EXPECT_EQ(15, s.position);

    book.Reset();
    s = book.Report(0, 1000, 999, 0, 0, 1);
    EXPECT_EQ(0u, s.receivedKb);
    EXPECT_EQ(0u, s.totalKb);

    book.Reset();
    s = book.Report(0, 0xFFFFFFF0u, 0xFFFFFF00u, 0, 0, 1);
    EXPECT_EQ(99, s.position);
    EXPECT_EQ(0xFFFFFF00u >> 10, s.receivedKb);
}

TEST_F(Progress, MoreReceivedThanTotalIsPassedOn) {
    ProgressStep s = book.Report(0, 1000, 1500, 0, 0, 1);
    EXPECT_EQ(150, s.position);
}

TEST_F(Progress, AfterResetEveryModuleCountsAgain) {
    book.Report(0, 8 * KiB, 8 * KiB, 0, 0, 1);
    book.Reset();
    ProgressStep s = book.Report(0, 8 * KiB, 2 * KiB, 0, 0, 1);
    EXPECT_EQ(1, book.reportedCount);
    EXPECT_EQ(8 * KiB, book.totalBytes);
    EXPECT_EQ(25, s.position);
}

TEST_F(Progress, UnknownSlotChangesNothing) {
    EXPECT_EQ(ProgressStep::Nothing, book.Report(-1, 10, 5, 0, 0, 1).kind);
    EXPECT_EQ(ProgressStep::Nothing, book.Report(kProgressSlots, 10, 5, 0, 0, 1).kind);
    EXPECT_EQ(0u, book.receivedBytes);
}

} // namespace
