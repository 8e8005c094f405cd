// Progress reports as a window on the test thread receives them, alone and
// with 15 downloads running side by side as in an update.
#include "DownloadTestSupport.h"
#include "TestServerClient.h"
#include "engine/DownloadTimeouts.h"
#include "engine/HttpDownload.h"
#include "framework/Thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Progress : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Connect(&why)) << why;
        SetDownloadTimeouts({2000, 2000});
        out = FreshOutputFolder();
    }

    std::string Serve(const std::string& name, const std::string& bytes) {
        std::string file = CurrentTestName() + "-" + name;
        EXPECT_TRUE(server.PutFile(file, bytes));
        return "/" + file;
    }

    TestServerClient server;
    std::string out;
};

// Every report carries the same total, received never goes down, and the last
// report is the complete file.
void ExpectSteadyReports(const std::vector<DownloadProgress>& reports, uint32_t size, int32_t tag,
                         const std::string& what) {
    ASSERT_FALSE(reports.empty()) << what;
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(size, reports[i].total) << what << " report " << i;
        EXPECT_EQ(tag, reports[i].tag) << what << " report " << i;
        if (i > 0) {
            EXPECT_GE(reports[i].received, reports[i - 1].received) << what << " report " << i;
        }
    }
    EXPECT_EQ(size, reports.back().received) << what;
}

struct Transfer {
    Transfer() = default;
    Transfer(const std::string& url, const std::string& local)
        : download(CHttpDownload::NewInstance()), url(url), local(local) {}

    std::unique_ptr<CHttpDownload> download;
    std::string url;
    std::string local;
    std::string data;
    UINT message = 0;
    unsigned result = 99;

    static UINT Run(void* p) {
        auto* t = static_cast<Transfer*>(p);
        t->result = t->download->Download(t->url.c_str(), t->local.c_str(), 0);
        return 0;
    }
};

TEST_F(Progress, ASlowServerGivesSteadyReportsAtTheInterval) {
    const uint32_t size = 300000;
    std::string path = Serve("slow", PatternBytes(size, 1));
    ASSERT_TRUE(server.SetRules("{\"" + path + "\": {\"rate\": 200000}}"));

    ProgressWindow window;
    Transfer t(server.Url(path), out + "slow");
    t.download->SetNotifyWnd(window.Handle(), WM_USER + 105, 100, -1, 7, 1);
    const double start = NowMs();
    UniqueHandle thread = AfxBeginThread(&Transfer::Run, &t);
    ASSERT_TRUE(WaitDispatching({thread.Get()}, 20000));
    const double elapsed = NowMs() - start;
    ASSERT_EQ(DownloadOk, t.result);

    const auto& reports = window.Reports(WM_USER + 105);
    ExpectSteadyReports(reports, size, 7, "slow");
    EXPECT_EQ(0u, reports.front().received) << "the first report comes with the headers";
    // At least 1.5 s of body at one report per 100 ms: the bytes show as they
    // come, not only at the end, and no faster than the interval allows (the
    // first and the final report come on top).
    EXPECT_GE(reports.size(), 6u);
    EXPECT_LE(static_cast<double>(reports.size()), elapsed / 100 + 3);
}

TEST_F(Progress, NoReportsAfterCancel) {
    std::string path = Serve("cancelled", PatternBytes(400000, 2));
    ASSERT_TRUE(server.SetRules("{\"" + path + "\": {\"rate\": 200000}}"));

    ProgressWindow window;
    Transfer t(server.Url(path), out + "cancelled");
    t.download->SetNotifyWnd(window.Handle(), WM_USER + 106, 0, -1, -1, 1);
    // Cancel from the handler of the third report: the downloading thread is
    // inside SendMessage then, so any later report would be a fault.
    window.onReport = [&](UINT, const DownloadProgress&) {
        if (window.Reports(WM_USER + 106).size() == 3)
            t.download->Cancel();
    };
    UniqueHandle thread = AfxBeginThread(&Transfer::Run, &t);
    ASSERT_TRUE(WaitDispatching({thread.Get()}, 20000));
    EXPECT_EQ(DownloadCancelled, t.result);
    EXPECT_EQ(3u, window.Reports(WM_USER + 106).size());
    EXPECT_EQ(0, window.Reports(WM_USER + 106).front().tag) << "tag -1 means 0";
}

TEST_F(Progress, FifteenParallelDownloadsAreExactAndReportSteadily) {
    ProgressWindow window;
    std::vector<std::unique_ptr<Transfer>> transfers;
    std::string rules = "{";
    for (int i = 0; i < 15; ++i) {
        auto t = std::make_unique<Transfer>();
        t->data = PatternBytes(64 * 1024 + static_cast<size_t>(i) * 150000, 100 + i);
        std::string path = Serve("module" + std::to_string(i), t->data);
        if (i % 3 == 0) // some slow modules, as over a poor line
            rules +=
                std::string(rules.size() > 1 ? ", " : "") + "\"" + path + "\": {\"rate\": 1500000}";
        t->url = server.Url(path);
        t->local = out + "module" + std::to_string(i);
        t->message = WM_USER + 102 + i;
        t->download.reset(CHttpDownload::NewInstance());
        ASSERT_TRUE(t->download);
        t->download->SetNotifyWnd(window.Handle(), t->message, -1, -1, -1, 1);
        transfers.push_back(std::move(t));
    }
    ASSERT_TRUE(server.SetRules(rules + "}"));

    std::vector<UniqueHandle> threads;
    std::vector<HANDLE> handles;
    for (auto& t : transfers) {
        threads.push_back(AfxBeginThread(&Transfer::Run, t.get()));
        ASSERT_TRUE(threads.back());
        handles.push_back(threads.back().Get());
    }
    ASSERT_TRUE(WaitDispatching(handles, 60000));

    for (auto& t : transfers) {
        std::string what = "module " + std::to_string(t->message - WM_USER - 102);
        EXPECT_EQ(DownloadOk, t->result) << what;
        std::string got;
        ASSERT_TRUE(ReadBytes(t->local, &got)) << what;
        EXPECT_TRUE(got == t->data) << what << ": " << got.size() << " of " << t->data.size();
        ExpectSteadyReports(window.Reports(t->message), static_cast<uint32_t>(t->data.size()), 0,
                            what);
    }
}

} // namespace
