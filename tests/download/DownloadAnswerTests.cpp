// How the server's answer is read: length headers, status decisions, errors.
#include "engine/DownloadAnswer.h"
#include "engine/HttpDownload.h"

#include <gtest/gtest.h>
#include <wininet.h>

namespace {

TEST(ParseContentRange, ReadsTheThreeForms) {
    ContentRange r;
    ASSERT_TRUE(ParseContentRange("bytes 100-199/200", &r));
    EXPECT_TRUE(r.hasRange && r.hasTotal);
    EXPECT_EQ(100u, r.first);
    EXPECT_EQ(199u, r.last);
    EXPECT_EQ(200u, r.total);

    ASSERT_TRUE(ParseContentRange("bytes */5000", &r));
    EXPECT_FALSE(r.hasRange);
    EXPECT_EQ(5000u, r.total);

    ASSERT_TRUE(ParseContentRange("  BYTES 0-0/*  ", &r));
    EXPECT_TRUE(r.hasRange);
    EXPECT_FALSE(r.hasTotal);

    ASSERT_TRUE(ParseContentRange("bytes 0-18446744073709551614/18446744073709551615", &r));
    EXPECT_EQ(UINT64_MAX, r.total);
}

TEST(ParseContentRange, RejectsEverythingElse) {
    ContentRange r;
    for (const char* text :
         {"", "bytes", "bytes ", "bytes=0-1/2", "items 0-1/2", "bytes 0-1", "bytes 5-4/10",
          "bytes 0-10/10", "bytes */*", "bytes -1-2/3", "bytes 0-1/2 junk", "bytes 0-1/2/3",
          "bytes 0-18446744073709551616/18446744073709551617", "bytes0-1/2", "bytes 1-/2"})
        EXPECT_FALSE(ParseContentRange(text, &r)) << '"' << text << '"';
    EXPECT_FALSE(ParseContentRange(nullptr, &r));
}

TEST(ParseByteCount, DigitsOnlyWithinSixtyFourBits) {
    uint64_t n = 7;
    EXPECT_TRUE(ParseByteCount("0", &n));
    EXPECT_EQ(0u, n);
    EXPECT_TRUE(ParseByteCount(" 8388608 ", &n));
    EXPECT_EQ(8388608u, n);
    EXPECT_TRUE(ParseByteCount("18446744073709551615", &n));
    EXPECT_EQ(UINT64_MAX, n);
    for (const char* text : {"", " ", "-1", "+5", "12a", "1 2", "0x10", "18446744073709551616"})
        EXPECT_FALSE(ParseByteCount(text, &n)) << '"' << text << '"';
    EXPECT_FALSE(ParseByteCount(nullptr, &n));
}

AnswerFacts Facts(unsigned status, bool rangeSent = false, uint64_t rangeStart = 0,
                  const char* contentRange = nullptr, bool hasLength = false, uint64_t length = 0) {
    AnswerFacts f;
    f.status = status;
    f.rangeSent = rangeSent;
    f.rangeStart = rangeStart;
    f.contentRange = contentRange;
    f.hasLength = hasLength;
    f.length = length;
    return f;
}

TEST(PlanAnswer, WholeFileAnswers) {
    AnswerPlan p = PlanAnswer(Facts(200, false, 0, nullptr, true, 1234));
    EXPECT_EQ(AnswerAction::WriteWhole, p.action);
    EXPECT_TRUE(p.totalKnown);
    EXPECT_EQ(1234u, p.total);

    p = PlanAnswer(Facts(200)); // no length (chunked or close-delimited)
    EXPECT_EQ(AnswerAction::WriteWhole, p.action);
    EXPECT_FALSE(p.totalKnown);

    // A server that ignores Range starts the file over.
    p = PlanAnswer(Facts(200, true, 500, nullptr, true, 900));
    EXPECT_EQ(AnswerAction::WriteWhole, p.action);
    EXPECT_EQ(900u, p.total);
}

TEST(PlanAnswer, ContinuationMustStartAtTheOffsetAndRunToTheEnd) {
    AnswerPlan p = PlanAnswer(Facts(206, true, 500, "bytes 500-899/900", true, 400));
    EXPECT_EQ(AnswerAction::Append, p.action);
    EXPECT_EQ(900u, p.total);

    // "/*": the range's end need not be the file's end.
    for (const char* range : {"bytes 0-899/900", "bytes 400-899/900", "bytes 500-699/900",
                              "bytes */900", "garbage", "bytes 500-899/*"})
        EXPECT_EQ(AnswerAction::RestartWhole,
                  PlanAnswer(Facts(206, true, 500, range, false)).action)
            << range;
    EXPECT_EQ(AnswerAction::RestartWhole, PlanAnswer(Facts(206, true, 500, nullptr)).action);
    // The length disagreeing with the range.
    EXPECT_EQ(AnswerAction::RestartWhole,
              PlanAnswer(Facts(206, true, 500, "bytes 500-899/900", true, 401)).action);
    // 206 to a request without Range is not something to write.
    EXPECT_EQ(AnswerAction::Fail, PlanAnswer(Facts(206, false, 0, "bytes 0-9/10")).action);
}

TEST(PlanAnswer, UnsatisfiableRange) {
    AnswerPlan p = PlanAnswer(Facts(416, true, 900, "bytes */900"));
    EXPECT_EQ(AnswerAction::AlreadyComplete, p.action);
    EXPECT_EQ(900u, p.total);

    // The local file is longer than, or otherwise not a prefix of, the remote one.
    EXPECT_EQ(AnswerAction::RestartWhole, PlanAnswer(Facts(416, true, 950, "bytes */900")).action);
    EXPECT_EQ(AnswerAction::RestartWhole, PlanAnswer(Facts(416, true, 900, nullptr)).action);
    EXPECT_EQ(AnswerAction::RestartWhole,
              PlanAnswer(Facts(416, true, 900, "bytes 0-899/900")).action);
    EXPECT_EQ(AnswerAction::Fail, PlanAnswer(Facts(416, false, 0, "bytes */900")).action);
}

TEST(PlanAnswer, RedirectsAndFailures) {
    for (unsigned status : {301u, 302u, 303u, 307u, 308u}) {
        AnswerFacts f = Facts(status);
        f.hasLocation = true;
        EXPECT_EQ(AnswerAction::Redirect, PlanAnswer(f).action) << status;
        f.hasLocation = false;
        EXPECT_EQ(AnswerAction::Fail, PlanAnswer(f).action) << status;
    }
    for (unsigned status : {0u, 100u, 199u, 300u, 304u, 305u, 400u, 403u, 404u, 500u, 503u, 999u})
        EXPECT_EQ(AnswerAction::Fail, PlanAnswer(Facts(status, true, 10)).action) << status;
    // Success statuses that carry no file, with or without a length.
    for (unsigned status : {201u, 202u, 203u, 204u, 205u, 207u, 226u, 299u}) {
        EXPECT_EQ(AnswerAction::Fail, PlanAnswer(Facts(status)).action) << status;
        EXPECT_EQ(AnswerAction::Fail, PlanAnswer(Facts(status, false, 0, nullptr, true, 9)).action)
            << status;
    }
}

TEST(RedirectAllowed, HttpsNeverLeadsAwayFromHttps) {
    EXPECT_TRUE(RedirectAllowed("https://a/x", "https://b/y"));
    EXPECT_TRUE(RedirectAllowed("HTTPS://a/x", "hTtPs://a/y"));
    EXPECT_TRUE(RedirectAllowed("http://a/x", "http://b/y"));
    EXPECT_TRUE(RedirectAllowed("http://a/x", "https://a/x"));
    for (const char* to : {"http://a/x", "HTTP://a/x", "ftp://a/x", "httpsx://a", "", "https"})
        EXPECT_FALSE(RedirectAllowed("https://a/x", to)) << to;
    EXPECT_FALSE(RedirectAllowed("https://a/x", nullptr));
}

TEST(ResultForInternetError, TimeoutsAndPhases) {
    EXPECT_EQ(DownloadTimeout,
              ResultForInternetError(ERROR_INTERNET_TIMEOUT, TransferPhase::Request));
    EXPECT_EQ(DownloadTimeout, ResultForInternetError(10060, TransferPhase::Body));
    EXPECT_EQ(DownloadBadUrl,
              ResultForInternetError(ERROR_INTERNET_INVALID_URL, TransferPhase::Request));
    EXPECT_EQ(DownloadConnectFailed,
              ResultForInternetError(ERROR_INTERNET_CANNOT_CONNECT, TransferPhase::Request));
    EXPECT_EQ(DownloadConnectFailed,
              ResultForInternetError(ERROR_INTERNET_SEC_CERT_CN_INVALID, TransferPhase::Request));
    EXPECT_EQ(DownloadShortBody,
              ResultForInternetError(ERROR_INTERNET_CONNECTION_RESET, TransferPhase::Body));
}

} // namespace
