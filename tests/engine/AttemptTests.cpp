#include "engine/Attempt.h"
#include "engine/Messages.h"

#include <gtest/gtest.h>

namespace {

TEST(Attempt, BeginRaisesTheCountAndClearsTheCounters) {
    AttemptBook book;
    book.successCount = 4;
    book.failureCount = 2;
    book.Begin(TRUE);
    EXPECT_EQ(1, book.attemptCount);
    EXPECT_EQ(0, book.successCount);
    EXPECT_EQ(0, book.failureCount);
    EXPECT_EQ(TRUE, book.resume);
    EXPECT_EQ(StateUpdating, book.state);
}

TEST(Attempt, DecidesOnlyWhenEveryDownloadHasReported) {
    AttemptBook book;
    book.Begin(FALSE);
    EXPECT_EQ(AttemptVerdict::Running, book.Record(0, 0, 3));
    EXPECT_EQ(AttemptVerdict::Running, book.Record(1, 0, 3));
    EXPECT_EQ(StateUpdating, book.state);
    EXPECT_EQ(AttemptVerdict::Succeeded, book.Record(0, 0, 3));
    EXPECT_EQ(StateSucceeded, book.state);
    EXPECT_EQ(3, book.successCount);
}

TEST(Attempt, ResultOneIsSuccessEveryOtherIsFailure) {
    for (WPARAM result : {2u, 3u, 4u, 7u, 10u, 0xFFFFFFFFu}) {
        AttemptBook book;
        book.Begin(FALSE);
        book.Record(1, 0, 2);
        EXPECT_EQ(AttemptVerdict::Retry, book.Record(result, 0, 2)) << result;
        EXPECT_EQ(1, book.successCount);
        EXPECT_EQ(1, book.failureCount);
    }
}

TEST(Attempt, FirstUpgradeGetsThreeAutomaticRetriesAndALaterOneNone) {
    AttemptBook book;
    std::vector<AttemptVerdict> verdicts;
    for (int i = 0; i < 4; ++i) {
        book.Begin(i > 0);
        verdicts.push_back(book.Record(7, 0, 1));
    }
    EXPECT_EQ((std::vector<AttemptVerdict>{AttemptVerdict::Retry, AttemptVerdict::Retry,
                                           AttemptVerdict::Retry, AttemptVerdict::Failed}),
              verdicts);
    EXPECT_EQ(StateFailed, book.state);

    // Upgrade pressed again after the failure: count 5, no retry.
    book.Begin(FALSE);
    EXPECT_EQ(AttemptVerdict::Running, book.Record(0, 0, 2));
    EXPECT_EQ(AttemptVerdict::Failed, book.Record(4, 0, 2));
    EXPECT_EQ(5, book.attemptCount);
}

TEST(Attempt, FailedVersionCheckEndsTheAttemptAtOnce) {
    AttemptBook book;
    book.Begin(FALSE);
    // Nothing was listed, yet the failed fetch decides the attempt.
    EXPECT_EQ(AttemptVerdict::Retry, book.Record(2, kVersionCheckFailed, 0));
    for (int i = 0; i < 3; ++i)
        book.Begin(TRUE);
    EXPECT_EQ(AttemptVerdict::Failed, book.Record(5, kVersionCheckFailed, 0));
    EXPECT_EQ(StateFailed, book.state);
}

} // namespace
