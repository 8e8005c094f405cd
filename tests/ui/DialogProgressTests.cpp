// The progress display in the dialog's own window: the reports of an attempt
// whose modules are listed but never arrive come from the test, with exact
// numbers, through the same messages the download component sends.
#include "DialogHarness.h"
#include "engine/HttpDownload.h"
#include "engine/LiveProgress.h"
#include "engine/Messages.h"
#include "res/resource.h"
#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

constexpr uint32_t KiB = 1024;
constexpr UINT kTobrask = WM_USER + 102, kQuorvel = WM_USER + 104, kZentil = WM_USER + 105;

using Positions = std::vector<int>;

// Sends one module progress report, as the download component does: the record
// is live while it is sent.
LRESULT Report(TestUpdaterDlg& dialog, UINT message, uint32_t total, uint32_t received) {
    DownloadProgress record{0, total, received};
    ScopedProgressRecord live(dialog.GetSafeHwnd(), message, &record);
    return dialog.SendMessage(message, 0, reinterpret_cast<LPARAM>(&record));
}

std::string Updating() {
    return Ansi("正在更新...");
}
std::string Shown(const char* amounts) {
    return Ansi("正在更新：") + amounts;
}

class ProgressDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(files.Connect(&why)) << why;
        ProgressBook::warmUpPosition = 0;
    }
    // Upgrade, then wait until the version check has listed `modules` (their
    // downloads never get an answer).
    void StartAttemptOf(TestUpdaterDlg& dialog, const std::vector<std::string>& modules) {
        ASSERT_TRUE(files.PutDigestList(modules));
        for (const std::string& name : modules)
            ASSERT_TRUE(files.Rule(name + ".dll", "{\"stall_before\": 30}"));
        size_t n = modules.size();
        dialog.Then("press Upgrade", [&dialog] { dialog.Click(IDC_UPGRADE); });
        dialog.Then(
            "modules listed", [&dialog, n] { return dialog.PendingCount() == n; }, [] {});
    }
    // An attempt of `modules` in an optional-mode dialog; `reports` runs once
    // they are listed, then the dialog is closed.
    void Run(const std::vector<std::string>& modules,
             const std::function<void(TestUpdaterDlg&)>& reports) {
        TestUpdaterDlg dialog(TestLaunch(ModeOptional, files.BaseUrl()));
        StartAttemptOf(dialog, modules);
        dialog.Then("reports", [&] {
            reports(dialog);
            dialog.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(IDCANCEL, dialog.RunModal());
        EXPECT_EQ("", dialog.Unfinished());
    }
    ServedFiles files;
};

TEST_F(ProgressDisplay, WorkedExampleOfTwoModules) {
    Run({"Tobrask", "Quorvel"}, [](TestUpdaterDlg& dialog) {
        // A: 1 KiB of 10 KiB. B's size is not known yet: warm-up.
        Report(dialog, kTobrask, 10 * KiB, 1 * KiB);
        EXPECT_EQ(Positions{1}, dialog.barPositions);
        EXPECT_EQ(Utf8(Updating()), Utf8(dialog.View().status));
        // B: 0 of 20 KiB. Every size is known.
        Report(dialog, kQuorvel, 20 * KiB, 0);
        EXPECT_EQ((Positions{1, 3}), dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("1 KB/30 KB")), Utf8(dialog.View().status));
        // A complete.
        Report(dialog, kTobrask, 10 * KiB, 10 * KiB);
        EXPECT_EQ((Positions{1, 3, 33}), dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("10 KB/30 KB")), Utf8(dialog.View().status));
    });
}

TEST_F(ProgressDisplay, WarmUpShowsOneThenTwoForTheRestOfTheRun) {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, files.BaseUrl()));
    StartAttemptOf(dialog, {"Tobrask", "Quorvel", "Zentil"});
    dialog.Then("first attempt", [&] {
        Report(dialog, kTobrask, 100, 10);
        Report(dialog, kTobrask, 100, 20);
        Report(dialog, kQuorvel, 100, 5);
        EXPECT_EQ((Positions{1, 2, 2}), dialog.barPositions);
        EXPECT_EQ(Utf8(Updating()), Utf8(dialog.View().status));
        // All three downloads fail: an automatic retry follows.
        for (LPARAM token : dialog.AwaitedCompletions())
            dialog.PostMessage(WM_DOWNLOAD_DONE, DownloadHttpError, token);
    });
    dialog.Then(
        "retry listed",
        [&] { return dialog.Book().attemptCount == 2 && dialog.PendingCount() == 3; },
        [&] {
            EXPECT_TRUE(dialog.Book().resume);
            dialog.barPositions.clear();
            Report(dialog, kZentil, 300, 30);
            EXPECT_EQ(Positions{2}, dialog.barPositions);
            // The new attempt counts its totals from nothing.
            EXPECT_EQ(1, dialog.Progress().reportedCount);
            EXPECT_EQ(300u, dialog.Progress().totalBytes);
            dialog.PostMessage(WM_CLOSE);
        });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
}

TEST_F(ProgressDisplay, ZeroTotalsShowNothingAndEachModulesTotalCountsOnce) {
    Run({"Tobrask"}, [](TestUpdaterDlg& dialog) {
        Report(dialog, kTobrask, 0, 500);
        EXPECT_EQ(Positions{}, dialog.barPositions);
        EXPECT_EQ(Utf8(Updating()), Utf8(dialog.View().status));
        Report(dialog, kTobrask, 10 * KiB, 1 * KiB);
        Report(dialog, kTobrask, 99 * KiB, 2 * KiB);
        EXPECT_EQ((Positions{10, 20}), dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("2 KB/10 KB")), Utf8(dialog.View().status));
    });
}

TEST_F(ProgressDisplay, CountsNearTheThirtyTwoBitLimit) {
    Run({"Tobrask", "Quorvel"}, [](TestUpdaterDlg& dialog) {
        Report(dialog, kTobrask, 0x80000000u, 0x80000000u);
        // Together 0xFFFFFF00 of 0xFFFFFFF0 bytes: the product with 100 needs
        // more than 32 bits.
        Report(dialog, kQuorvel, 0x7FFFFFF0u, 0x7FFFFF00u);
        EXPECT_EQ((Positions{1, 99}), dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("4194303 KB/4194303 KB")), Utf8(dialog.View().status));
        Report(dialog, kQuorvel, 0x7FFFFFF0u, 0x7FFFFFF0u);
        EXPECT_EQ((Positions{1, 99, 100}), dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("4194303 KB/4194303 KB")), Utf8(dialog.View().status));
    });
}

TEST_F(ProgressDisplay, PercentageAboveOneHundredReachesTheBar) {
    Run({"Tobrask"}, [](TestUpdaterDlg& dialog) {
        Report(dialog, kTobrask, 1000, 1500);
        EXPECT_EQ(Positions{150}, dialog.barPositions);
        EXPECT_EQ(Utf8(Shown("1 KB/0 KB")), Utf8(dialog.View().status));
    });
}

TEST_F(ProgressDisplay, ReportsWithoutALiveRecordOrForNoModuleChangeNothing) {
    Run({"Tobrask"}, [](TestUpdaterDlg& dialog) {
        dialog.SendMessage(kTobrask, 0, 0);
        // A record no transfer is sending (any program can put an address in
        // lParam), or one sent with another module's message.
        DownloadProgress record{0, 1000, 500};
        EXPECT_EQ(0, dialog.SendMessage(kTobrask, 0, reinterpret_cast<LPARAM>(&record)));
        {
            ScopedProgressRecord live(dialog.GetSafeHwnd(), kQuorvel, &record);
            EXPECT_EQ(0, dialog.SendMessage(kTobrask, 0, reinterpret_cast<LPARAM>(&record)));
        }
        EXPECT_EQ(0, Report(dialog, WM_USER + 111, 1000, 500));
        EXPECT_EQ(0, Report(dialog, WM_USER + 101, 1000, 500));
        EXPECT_EQ(0, Report(dialog, WM_USER + 118, 1000, 500));
        EXPECT_EQ(Positions{}, dialog.barPositions);
        EXPECT_EQ(0u, dialog.Progress().totalBytes);
        EXPECT_EQ(Utf8(Updating()), Utf8(dialog.View().status));
        // A proper report still counts.
        EXPECT_EQ(1, Report(dialog, kTobrask, 1000, 500));
        EXPECT_EQ(Positions{50}, dialog.barPositions);
    });
}

// What the screen shows of the status line: the pixels of the dialog's window
// under the status static.
std::vector<COLORREF> StatusLineShot(TestUpdaterDlg& dialog) {
    RECT r;
    GetWindowRect(dialog.Control(IDC_STATUS), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    Canvas shot(r.right - r.left, r.bottom - r.top);
    HDC screen = GetDC(dialog);
    BitBlt(shot.Dc(), 0, 0, shot.Width(), shot.Height(), screen, r.left, r.top, SRCCOPY);
    ReleaseDC(dialog, screen);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < shot.Height(); ++y)
        for (int x = 0; x < shot.Width(); ++x)
            pixels.push_back(shot.At(x, y));
    return pixels;
}

// The status line showing `text` alone: the whole window painted anew, from
// its background up.
std::vector<COLORREF> CleanStatusLine(TestUpdaterDlg& dialog, const std::string& text) {
    SetWindowTextA(dialog.Control(IDC_STATUS), text.c_str());
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return StatusLineShot(dialog);
}

size_t DifferentPixels(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
    size_t n = a.size() == b.size() ? 0 : a.size() + b.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// Reports in quick succession, the status line taken from the screen after
// each: every shot is the new text alone on the background, never the new
// text over the old one, and never the background without it.
TEST_F(ProgressDisplay, EveryShotOfTheStatusLineShowsOneTextOnACleanBackground) {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, files.BaseUrl()));
    StartAttemptOf(dialog, {"Tobrask", "Quorvel"});
    dialog.Then("reports", [&] {
        std::vector<std::pair<std::string, std::vector<COLORREF>>> shots;
        Report(dialog, kQuorvel, 300 * KiB, 0);
        Report(dialog, kTobrask, 9000 * KiB, 0);
        shots.emplace_back(dialog.View().status, StatusLineShot(dialog));
        for (uint32_t i = 1; i <= 40; ++i) {
            // Received amounts going up and down, of one to three digits.
            uint32_t received = (i * 7919u) % (i % 3 ? 200u : 20u);
            Report(dialog, i % 2 ? kTobrask : kQuorvel, i % 2 ? 9000 * KiB : 300 * KiB,
                   received * KiB);
            shots.emplace_back(dialog.View().status, StatusLineShot(dialog));
        }
        std::vector<COLORREF> blank = CleanStatusLine(dialog, "");
        int failures = 0;
        for (const auto& [text, shot] : shots) {
            ASSERT_EQ(0u, Utf8(text).rfind(Utf8(Shown("")), 0)) << Utf8(text);
            EXPECT_NE(0u, DifferentPixels(blank, shot)) << "no text shown for " << Utf8(text);
            size_t wrong = DifferentPixels(CleanStatusLine(dialog, text), shot);
            EXPECT_EQ(0u, wrong) << "pixels not those of " << Utf8(text) << " alone";
            if (wrong && ++failures == 3)
                break;
        }
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
}

} // namespace
