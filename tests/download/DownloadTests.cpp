// CHttpDownload against the local test server: what ends up in the local file,
// what the server was asked, and which result comes back.
#include "DownloadTestSupport.h"
#include "TestServerClient.h"
#include "engine/DownloadTimeouts.h"
#include "engine/HttpDownload.h"
#include "framework/Thread.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

constexpr DWORD kTestConnectMs = 5000;
constexpr DWORD kTestReceiveMs = 700;

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Connect(&why)) << why;
        SetDownloadTimeouts({kTestConnectMs, kTestReceiveMs, CHttpDownload::kTrickleWindowMs,
                             CHttpDownload::kTrickleMinBytes});
        out = FreshOutputFolder();
    }

    // Serves `bytes` under a name of this test; returns the URL path.
    std::string Serve(const std::string& name, const std::string& bytes) {
        std::string file = CurrentTestName() + "-" + name;
        EXPECT_TRUE(server.PutFile(file, bytes));
        return "/" + file;
    }

    // Gives `path` a misbehaviour rule (JSON, see tests/server/testserver.py).
    void Rule(const std::string& path, const std::string& rule) {
        ASSERT_TRUE(server.SetRules("{\"" + path + "\": " + rule + "}")) << path << " " << rule;
    }

    unsigned Fetch(const std::string& path, const std::string& local, int flag) {
        std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
        EXPECT_TRUE(download);
        return download ? download->Download(server.Url(path).c_str(), local.c_str(), flag) : 99;
    }

    TestServerClient server;
    std::string out;
};

std::string Prefix(const std::string& bytes, size_t n) {
    return bytes.substr(0, n);
}

TEST_F(Download, CopiesFilesByteForByteAndAsksTheServerEveryTime) {
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{1} << 20, (size_t{1} << 20) + 3, (size_t{3} << 20) + 17}) {
        std::string data = PatternBytes(size, static_cast<uint32_t>(size));
        std::string path = Serve("file" + std::to_string(size), data);
        std::string local = out + "file" + std::to_string(size);
        for (int round = 0; round < 2; ++round) {
            ASSERT_EQ(DownloadOk, Fetch(path, local, round)) << size;
            std::string got;
            ASSERT_TRUE(ReadBytes(local, &got));
            EXPECT_TRUE(got == data)
                << "size " << size << " round " << round << " got " << got.size();
        }
        // Nothing is answered from a cache: both downloads reached the server.
        auto log = server.Log(path);
        EXPECT_EQ(2u, log.size()) << size;
    }
}

TEST_F(Download, ErrorStatusesFailWithoutTouchingTheLocalFile) {
    std::string local = out + "missing";
    EXPECT_EQ(DownloadHttpError, Fetch("/no-such-file-" + CurrentTestName(), local, 1));
    EXPECT_FALSE(FileExists(local));

    std::string data = PatternBytes(50000, 1);
    std::string path = Serve("broken", data);
    Rule(path, R"({"status": 500})");
    EXPECT_EQ(DownloadHttpError, Fetch(path, local, 1));
    EXPECT_FALSE(FileExists(local)) << "an error page was written";

    // A partial file waiting to be resumed survives an error answer unchanged.
    ASSERT_TRUE(WriteBytes(local, Prefix(data, 1234)));
    EXPECT_EQ(DownloadHttpError, Fetch(path, local, 0));
    std::string got;
    ASSERT_TRUE(ReadBytes(local, &got));
    EXPECT_TRUE(got == Prefix(data, 1234));
    auto log = server.Log(path);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("bytes=1234-", log[1].range);
}

TEST_F(Download, BrokenBodiesFailAndKeepWhatArrivedOnlyForResuming) {
    std::string data = PatternBytes(400000, 2);
    std::string got;

    std::string cut = Serve("cut", data);
    Rule(cut, R"({"cut_at": 100000})");
    EXPECT_EQ(DownloadShortBody, Fetch(cut, out + "cut", 0));
    ASSERT_TRUE(ReadBytes(out + "cut", &got));
    EXPECT_TRUE(got == Prefix(data, 100000)) << got.size();

    std::string reset = Serve("reset", data);
    Rule(reset, R"({"reset_at": 150000})");
    EXPECT_EQ(DownloadShortBody, Fetch(reset, out + "reset", 0));
    ASSERT_TRUE(ReadBytes(out + "reset", &got));
    EXPECT_LE(got.size(), 150000u);
    EXPECT_TRUE(got == Prefix(data, got.size()));

    // Content-Length promising more than the whole body.
    std::string longer = Serve("longer", data);
    Rule(longer, R"({"extra_length": 10})");
    EXPECT_EQ(DownloadShortBody, Fetch(longer, out + "longer", 0));
    ASSERT_TRUE(ReadBytes(out + "longer", &got));
    EXPECT_TRUE(got == data);

    // A whole-file transfer (the digest list, the change log) leaves nothing.
    for (const std::string& path : {cut, reset, longer}) {
        EXPECT_EQ(DownloadShortBody, Fetch(path, out + "whole", 1)) << path;
        EXPECT_FALSE(FileExists(out + "whole")) << path;
    }
}

TEST_F(Download, ResumesAPartialFileWithARangeRequest) {
    std::string data = PatternBytes((1 << 20) + 5, 3);
    std::string path = Serve("resume", data);
    std::string local = out + "resume";
    Rule(path, R"({"cut_at": 300000, "times": 1})");
    ASSERT_EQ(DownloadShortBody, Fetch(path, local, 0));
    ASSERT_EQ(300000u, FileSize(local));

    ASSERT_EQ(DownloadOk, Fetch(path, local, 0));
    std::string got;
    ASSERT_TRUE(ReadBytes(local, &got));
    EXPECT_TRUE(got == data) << got.size();
    auto log = server.Log(path);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("", log[0].range);
    EXPECT_EQ("bytes=300000-", log[1].range);
    EXPECT_EQ(206, log[1].status);
    EXPECT_EQ(data.size() - 300000, log[1].sent);
}

TEST_F(Download, CompleteLocalFileIsAlreadyComplete) {
    std::string data = PatternBytes(70000, 4);
    std::string path = Serve("complete", data);
    std::string local = out + "complete";
    ASSERT_TRUE(WriteBytes(local, data));

    ProgressWindow window;
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    download->SetNotifyWnd(window.Handle(), WM_USER + 110, -1, -1, -1, 1);
    EXPECT_EQ(DownloadAlreadyComplete,
              download->Download(server.Url(path).c_str(), local.c_str(), 0));

    std::string got;
    ASSERT_TRUE(ReadBytes(local, &got));
    EXPECT_TRUE(got == data);
    auto log = server.Log(path);
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(416, log[0].status);
    EXPECT_EQ("bytes=70000-", log[0].range);
    // The dialog still learns the module's size.
    const auto& reports = window.Reports(WM_USER + 110);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(70000u, reports.back().total);
    EXPECT_EQ(70000u, reports.back().received);
}

TEST_F(Download, ALocalFileThatCannotBeContinuedIsFetchedWhole) {
    std::string data = PatternBytes(90000, 5);
    std::string got;

    // The server ignores Range and answers 200: the local bytes are replaced.
    std::string ignoring = Serve("ignoring", data);
    Rule(ignoring, R"({"ignore_range": true})");
    ASSERT_TRUE(WriteBytes(out + "ignoring", PatternBytes(1000, 99)));
    EXPECT_EQ(DownloadOk, Fetch(ignoring, out + "ignoring", 0));
    ASSERT_TRUE(ReadBytes(out + "ignoring", &got));
    EXPECT_TRUE(got == data);
    auto log = server.Log(ignoring);
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("bytes=1000-", log[0].range);
    EXPECT_EQ(200, log[0].status);

    // A local file longer than the remote one: 416 with another total, then
    // the whole file.
    std::string shorter = Serve("shorter", data);
    ASSERT_TRUE(WriteBytes(out + "shorter", data + "stale tail"));
    EXPECT_EQ(DownloadOk, Fetch(shorter, out + "shorter", 0));
    ASSERT_TRUE(ReadBytes(out + "shorter", &got));
    EXPECT_TRUE(got == data) << got.size();
    log = server.Log(shorter);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(416, log[0].status);
    EXPECT_EQ("", log[1].range);
    EXPECT_EQ(200, log[1].status);

    // Flag 1 never asks for a range, whatever is on disk.
    std::string whole = Serve("whole", data);
    ASSERT_TRUE(WriteBytes(out + "whole", Prefix(data, 5000)));
    EXPECT_EQ(DownloadOk, Fetch(whole, out + "whole", 1));
    ASSERT_TRUE(ReadBytes(out + "whole", &got));
    EXPECT_TRUE(got == data);
    log = server.Log(whole);
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("", log[0].range);
}

TEST_F(Download, FollowsRedirectsButNotALoop) {
    std::string data = PatternBytes(30000, 6);
    std::string target = Serve("target", data);
    std::string first = "/" + CurrentTestName() + "-first";
    std::string second = "/" + CurrentTestName() + "-second";
    Rule(first, R"({"redirect": ")" + second + R"(", "relative": true})");
    Rule(second, R"({"redirect": ")" + target + R"(", "redirect_status": 307})");
    EXPECT_EQ(DownloadOk, Fetch(first, out + "redirected", 1));
    std::string got;
    ASSERT_TRUE(ReadBytes(out + "redirected", &got));
    EXPECT_TRUE(got == data);

    std::string ping = "/" + CurrentTestName() + "-ping";
    std::string pong = "/" + CurrentTestName() + "-pong";
    Rule(ping, R"({"redirect": ")" + pong + R"("})");
    Rule(pong, R"({"redirect": ")" + ping + R"("})");
    EXPECT_EQ(DownloadTooManyRedirects, Fetch(ping, out + "loop", 1));
    EXPECT_FALSE(FileExists(out + "loop"));
    EXPECT_EQ(static_cast<size_t>(CHttpDownload::kMaxRedirects + 1),
              server.Log(ping).size() + server.Log(pong).size());
}

TEST_F(Download, StalledServerFailsWithinTheTimeout) {
    std::string data = PatternBytes(200000, 7);

    std::string silent = Serve("silent", data);
    Rule(silent, R"({"stall_before": 8})");
    double start = NowMs();
    EXPECT_EQ(DownloadTimeout, Fetch(silent, out + "silent", 1));
    EXPECT_LT(NowMs() - start, kTestConnectMs + kTestReceiveMs + 1000.0);
    EXPECT_FALSE(FileExists(out + "silent"));

    std::string stalled = Serve("stalled", data);
    Rule(stalled, R"({"stall_at": 50000, "stall": 8})");
    start = NowMs();
    EXPECT_EQ(DownloadTimeout, Fetch(stalled, out + "stalled", 0));
    EXPECT_LT(NowMs() - start, kTestReceiveMs + 1500.0);
    EXPECT_EQ(50000u, FileSize(out + "stalled"));
}

TEST_F(Download, EveryServerMayHaveAsManyConnectionsAsThereAreModules) {
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    ASSERT_TRUE(download);
    for (DWORD option :
         {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD value = 0;
        DWORD size = sizeof value;
        ASSERT_TRUE(InternetQueryOptionA(nullptr, option, &value, &size)) << option;
        EXPECT_GE(value, 16u) << option;
    }
}

// A download on its own thread, cancelled from the test thread.
struct Worker {
    Worker(CHttpDownload* d, const std::string& u, const std::string& l)
        : download(d), url(u), local(l) {}

    CHttpDownload* download;
    std::string url;
    std::string local;
    std::atomic<unsigned> result{99};
    double endedMs = 0;

    static UINT Run(void* p) {
        auto* w = static_cast<Worker*>(p);
        w->result = w->download->Download(w->url.c_str(), w->local.c_str(), 0);
        w->endedMs = NowMs();
        return 0;
    }
};

// The underway event says the request has gone out while the server has not
// answered yet, and stays unset for a transfer that never reaches the server.
TEST_F(Download, TheUnderwayEventIsSetOnceTheRequestIsOnItsWay) {
    std::string path = Serve("stalled", PatternBytes(1000, 9));
    Rule(path, R"({"stall_before": 30})");
    UniqueHandle underway(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    download->SetUnderwayEvent(underway.Get());
    Worker worker(download.get(), server.Url(path), out + "stalled");
    UniqueHandle thread = AfxBeginThread(&Worker::Run, &worker);
    ASSERT_TRUE(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(underway.Get(), 5000));
    EXPECT_EQ(99u, worker.result.load());
    download->Cancel();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 5000));

    UniqueHandle unused(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::unique_ptr<CHttpDownload> refused(CHttpDownload::NewInstance());
    refused->SetUnderwayEvent(unused.Get());
    EXPECT_EQ(DownloadBadUrl, refused->Download("ftp://127.0.0.1/x", (out + "x").c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(unused.Get(), 0));
}

TEST_F(Download, CancelEndsADownloadBlockedOnAStalledServer) {
    // The product time-outs, so that only Cancel can end these downloads soon.
    SetDownloadTimeouts({CHttpDownload::kConnectTimeoutMs, CHttpDownload::kReceiveTimeoutMs});
    std::string data = PatternBytes(300000, 8);
    std::string midBody = Serve("mid-body", data);
    std::string beforeAnswer = Serve("before-answer", data);
    Rule(midBody, R"({"stall_at": 100000, "stall": 30, "times": 1})");
    Rule(beforeAnswer, R"({"stall_before": 30})");

    for (const std::string& path : {midBody, beforeAnswer}) {
        std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
        Worker worker(download.get(), server.Url(path), out + path.substr(1));
        UniqueHandle thread = AfxBeginThread(&Worker::Run, &worker);
        ASSERT_TRUE(thread);
        // Let the transfer reach the stall.
        if (path == midBody) {
            const double giveUp = NowMs() + 5000;
            while (FileSize(worker.local) < 100000 && NowMs() < giveUp)
                Sleep(20);
        } else {
            Sleep(500);
        }
        ASSERT_EQ(99u, worker.result.load()) << path << " ended before the stall";

        const double cancelledAt = NowMs();
        download->Cancel();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 5000));
        EXPECT_EQ(DownloadCancelled, worker.result.load()) << path;
        EXPECT_LT(worker.endedMs - cancelledAt, 1000.0) << path;
    }

    // What arrived before the cancel is kept, and a new transfer resumes it.
    EXPECT_EQ(100000u, FileSize(out + midBody.substr(1)));
    EXPECT_EQ(DownloadOk, Fetch(midBody, out + midBody.substr(1), 0));
    std::string got;
    ASSERT_TRUE(ReadBytes(out + midBody.substr(1), &got));
    EXPECT_TRUE(got == data);
    auto log = server.Log(midBody);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("bytes=100000-", log.back().range);

    // Cancel before Download: nothing is fetched.
    std::unique_ptr<CHttpDownload> early(CHttpDownload::NewInstance());
    early->Cancel();
    std::string never = Serve("never", data);
    EXPECT_EQ(DownloadCancelled,
              early->Download(server.Url(never).c_str(), (out + "never").c_str(), 1));
    EXPECT_FALSE(FileExists(out + "never"));
}

// As when the update dialog closes: every module's transfer is cancelled and
// the threads are waited for.
TEST_F(Download, CancellingFifteenStalledDownloadsEndsEveryThreadAtOnce) {
    SetDownloadTimeouts({CHttpDownload::kConnectTimeoutMs, CHttpDownload::kReceiveTimeoutMs});
    std::string data = PatternBytes(100000, 10);
    std::vector<std::unique_ptr<CHttpDownload>> downloads;
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < 15; ++i) {
        std::string path = Serve("stalled" + std::to_string(i), data);
        // Stalled before the answer, in the body, or trickling.
        Rule(path, i % 3 == 0   ? R"({"stall_before": 30})"
                   : i % 3 == 1 ? R"({"stall_at": 20000, "stall": 30})"
                                : R"({"rate": 2000})");
        downloads.emplace_back(CHttpDownload::NewInstance());
        workers.push_back(std::make_unique<Worker>(downloads.back().get(), server.Url(path),
                                                   out + path.substr(1)));
        threads.push_back(AfxBeginThread(&Worker::Run, workers.back().get()));
    }
    Sleep(500);
    const double cancelledAt = NowMs();
    for (auto& download : downloads)
        download->Cancel();
    for (size_t i = 0; i < threads.size(); ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(threads[i].Get(), 5000)) << i;
        EXPECT_EQ(DownloadCancelled, workers[i]->result.load()) << i;
        EXPECT_LT(workers[i]->endedMs - cancelledAt, 1000.0) << i;
    }
}

TEST_F(Download, RejectsBadAddressesAndLocalPaths) {
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    std::string local = out + "bad";
    for (const char* url : {"", "no address", "ftp://127.0.0.1/file", "http://", "file:///c:/x"})
        EXPECT_EQ(DownloadBadUrl, download->Download(url, local.c_str(), 1)) << url;
    EXPECT_EQ(DownloadBadUrl, download->Download(nullptr, local.c_str(), 1));
    EXPECT_FALSE(FileExists(local));

    std::string path = Serve("good", PatternBytes(1000, 9));
    EXPECT_EQ(DownloadLocalFileError, download->Download(server.Url(path).c_str(), nullptr, 1));
    EXPECT_EQ(DownloadLocalFileError, download->Download(server.Url(path).c_str(), "", 1));
    EXPECT_EQ(DownloadLocalFileError, download->Download(server.Url(path).c_str(),
                                                         (out + "no\\such\\folder\\f").c_str(), 1));

    // TLS is really checked: a certificate nobody vouches for is a failure.
    EXPECT_EQ(DownloadConnectFailed,
              download->Download(server.UntrustedHttpsUrl(path).c_str(), local.c_str(), 1));
    EXPECT_FALSE(FileExists(local));

    // Nobody listens on port 1 of the loopback interface.
    EXPECT_EQ(DownloadConnectFailed, download->Download("http://127.0.0.1:1/f", local.c_str(), 1));
    EXPECT_FALSE(FileExists(local));
}

} // namespace
