// What the update dialog shows and offers in each state, for every launch
// mode, with real attempts against the local test server.
#include "DialogHarness.h"
#include "engine/Staging.h"
#include "res/resource.h"
#include "tests/download/DownloadTestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

const char* const kChangeLogUtf8 = "1. 修复了若干问题\r\n2. 启动更快\r\n";

// What the user sees in `state` in launch mode `mode` (any mode but silent).
DialogView Expected(int mode, Reach state) {
    const bool optional = mode == ModeOptional, mandatory = mode == ModeMandatory;
    const bool other = !optional && !mandatory;
    DialogView v;
    v.close = true;
    if (state == Reach::Succeeded) {
        v.finish = true;
        v.status = Ansi("更新成功,点击\u201C完成\u201D将重新启动Marnil！");
        return v;
    }
    v.upgrade = true;
    v.dontUpgrade = !mandatory;
    v.exitSoftware = !optional;
    v.finish = other;
    v.upgradeEnabled = state != Reach::Updating;
    switch (state) {
    case Reach::Offering:
        v.status = other ? "static" : "";
        break;
    case Reach::Updating:
        v.status = Ansi("正在更新...");
        break;
    default:
        v.status = Ansi("更新失败！");
        break;
    }
    return v;
}

// The control the dialog gives the keyboard focus. Programs of other tests in
// the same Wine session may hold the foreground meanwhile, and a thread whose
// window is not active has no focus; the dialog manager keeps the dialog's
// choice and gives it back when the dialog is active again.
HWND FocusChosenBy(HWND dialog) {
    for (int i = 0; i < 50 && GetActiveWindow() != dialog; ++i) {
        SetForegroundWindow(dialog);
        SetActiveWindow(dialog);
        if (GetActiveWindow() != dialog)
            Sleep(20);
    }
    return GetFocus();
}

// The caption the Don't-upgrade button shows in all four of its looks.
void ExpectDeclineCaption(TestUpdaterDlg& dialog, const std::string& caption) {
    const std::vector<SkinText>& styles = dialog.Button(IDC_DONT_UPGRADE).GetTextStyles();
    ASSERT_EQ(4u, styles.size());
    for (const SkinText& style : styles)
        EXPECT_EQ(Utf8(caption), Utf8(style.text));
}

class EveryMode : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(files.Connect(&why)) << why;
    }
    int Mode() const { return GetParam(); }
    bool ShowsChangeLog() const { return Mode() == ModeOptional || Mode() == ModeMandatory; }
    ServedFiles files;
};

TEST_P(EveryMode, OfferingShowsTheChangeLogAndTheModesOwnChoice) {
    TestUpdaterDlg dialog(TestLaunch(Mode(), files.BaseUrl()), Ansi(kChangeLogUtf8));
    dialog.Then("offering", [&] {
        EXPECT_EQ(Expected(Mode(), Reach::Offering), dialog.View());
        EXPECT_EQ(dialog.Control(IDC_UPGRADE), FocusChosenBy(dialog));
        EXPECT_EQ(ShowsChangeLog() ? Ansi(kChangeLogUtf8) : "",
                  RichEditText(dialog.ChangeLogBox()));
        EXPECT_EQ(0, dialog.Book().attemptCount);
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
    EXPECT_TRUE(dialog.barPositions.empty());
}

TEST_P(EveryMode, UpdatingDisablesUpgradeAndOnlyOptionalModeSaysCancel) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Updating));
    TestUpdaterDlg dialog(TestLaunch(Mode(), files.BaseUrl()), Ansi(kChangeLogUtf8));
    StepsToReach(dialog, Reach::Updating);
    dialog.Then("updating", [&] {
        EXPECT_EQ(Expected(Mode(), Reach::Updating), dialog.View());
        EXPECT_EQ(1, dialog.Book().attemptCount);
        ExpectDeclineCaption(dialog, Mode() == ModeOptional ? Ansi("取消") : Ansi("不升级"));
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
}

TEST_P(EveryMode, FailureComesAfterFourAttemptsAndALaterUpgradeGetsNoRetry) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Failed));
    TestUpdaterDlg dialog(TestLaunch(Mode(), files.BaseUrl()), Ansi(kChangeLogUtf8));
    StepsToReach(dialog, Reach::Failed);
    dialog.Then("failed", [&] {
        EXPECT_EQ(Expected(Mode(), Reach::Failed), dialog.View());
        EXPECT_EQ(4, dialog.Book().attemptCount);
        EXPECT_EQ(4u, files.Requests("Quorvel.dll"));
        ExpectDeclineCaption(dialog, Mode() == ModeOptional ? Ansi("取消") : Ansi("不升级"));
        dialog.Click(IDC_UPGRADE);
    });
    dialog.Then(
        "failed again",
        [&] { return dialog.Book().attemptCount == 5 && dialog.State() == StateFailed; },
        [&] {
            EXPECT_EQ(5u, files.Requests("Quorvel.dll"));
            EXPECT_EQ(Expected(Mode(), Reach::Failed), dialog.View());
            dialog.PostMessage(WM_CLOSE);
        });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
}

TEST_P(EveryMode, SuccessOffersFinishAloneWithTheBarFull) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    TestUpdaterDlg dialog(TestLaunch(Mode(), files.BaseUrl()), Ansi(kChangeLogUtf8));
    StepsToReach(dialog, Reach::Succeeded);
    dialog.Then("succeeded", [&] {
        EXPECT_EQ(Expected(Mode(), Reach::Succeeded), dialog.View());
        ASSERT_FALSE(dialog.barPositions.empty());
        EXPECT_EQ(100, dialog.barPositions.back());
        std::string staged;
        EXPECT_TRUE(ReadBytes(dialog.ProgramDir() + "UpgradeBackup_P\\Quorvel.dll.tmp", &staged));
        EXPECT_EQ(kNewModuleBytes, staged);
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
    EXPECT_EQ(0, dialog.finishCalls);
}

INSTANTIATE_TEST_SUITE_P(Modes, EveryMode, ::testing::Values(ModeOptional, ModeMandatory, 0, 7),
                         [](const ::testing::TestParamInfo<int>& info) {
                             switch (info.param) {
                             case ModeOptional:
                                 return std::string("Optional");
                             case ModeMandatory:
                                 return std::string("Mandatory");
                             default:
                                 return "Other" + std::to_string(info.param);
                             }
                         });

// ---- silent mode: no window, the attempt at once, the end by itself

class SilentMode : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(files.Connect(&why)) << why;
    }
    ServedFiles files;
};

TEST_F(SilentMode, NeverShownAndClosedByTheHostsExitEvent) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Updating));
    SessionEvent updaterExit("*_UPDATER_EXIT_*");
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()), Ansi(kChangeLogUtf8));
    dialog.Then("started at once", [&] {
        EXPECT_EQ(StateUpdating, dialog.State());
        EXPECT_EQ(1, dialog.Book().attemptCount);
        EXPECT_EQ("", RichEditText(dialog.ChangeLogBox()));
        updaterExit.Set();
    });
    dialog.ThenItEnds();
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_FALSE(dialog.everVisible);
}

TEST_F(SilentMode, SuccessStagesUnderTheFinalNameLeavesTheMarkerAndEnds) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()));
    dialog.ThenItEnds();
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_FALSE(dialog.everVisible);
    EXPECT_EQ(StateSucceeded, dialog.State());
    std::string staged;
    EXPECT_TRUE(ReadBytes(dialog.ProgramDir() + "UpgradeBackup\\Quorvel.dll", &staged));
    EXPECT_EQ(kNewModuleBytes, staged);
    char key[8] = {};
    GetPrivateProfileStringA("SUpgrade", "Key", "", key, sizeof key,
                             (dialog.ProgramDir() + "UpgradeBackup\\qim_s.backup").c_str());
    EXPECT_STREQ("1", key);
}

TEST_F(SilentMode, FailureEndsAfterFourAttemptsWithoutAMarker) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Failed));
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()));
    dialog.ThenItEnds();
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_FALSE(dialog.everVisible);
    EXPECT_EQ(StateFailed, dialog.State());
    EXPECT_EQ(4, dialog.Book().attemptCount);
    EXPECT_FALSE(FileExists(dialog.ProgramDir() + "UpgradeBackup\\qim_s.backup"));
}

// Starts the silent update before the dialog's window exists, as the updater
// does, and waits until the server has answered the digest list request.
void StartBeforeTheWindow(TestUpdaterDlg& dialog, const ServedFiles& files) {
    dialog.StartSilentUpdate(5000);
    for (int i = 0; i < 500 && files.Requests("ModelMD5.dll") == 0; ++i)
        Sleep(10);
}

// Started before its window exists, as the updater starts it: the digest list
// is fetched meanwhile, the window starts no second attempt, and every report
// reaches the window once it is there.
TEST_F(SilentMode, StartedBeforeTheWindowTheUpdateReportsToItOnceItIsThere) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()));
    StartBeforeTheWindow(dialog, files);
    EXPECT_EQ(1u, files.Requests("ModelMD5.dll"));
    dialog.ThenItEnds();
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_EQ(StateSucceeded, dialog.State());
    EXPECT_EQ(1, dialog.Book().attemptCount);
    EXPECT_EQ(1u, files.Requests("ModelMD5.dll"));
    EXPECT_TRUE(FileExists(dialog.ProgramDir() + "UpgradeBackup\\qim_s.backup"));
}

// A window that is never made (its creation failed) leaves no thread waiting
// for it, and no digest list behind.
TEST_F(SilentMode, StartedWithoutAWindowTheUpdateEndsWithTheDialog) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()));
    StartBeforeTheWindow(dialog, files);
    // Let the list (a few hundred bytes) reach its file and the check wait.
    const std::string list = dialog.ProgramDir() + kDigestListName;
    for (int i = 0; i < 500 && !FileExists(list); ++i)
        Sleep(10);
    Sleep(100);
    EXPECT_TRUE(dialog.EndEngine(3000));
    EXPECT_FALSE(FileExists(list));
    EXPECT_FALSE(FileExists(dialog.ProgramDir() + "UpgradeBackup\\qim_s.backup"));
}

// Whether `window` is one of this process's windows.
bool OwnWindow(HWND window) {
    DWORD process = 0;
    return window && GetWindowThreadProcessId(window, &process) && process == GetCurrentProcessId();
}

// A window of the host's, holding the keyboard focus while the user types.
// The focus and the foreground are shared with the other tests' programs,
// which may take them at any time: only what goes to a window of this
// process counts.
class FocusedWindow {
public:
    FocusedWindow() {
        window = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
        SetWindowSubclass(window, &CountLosses, 1, reinterpret_cast<DWORD_PTR>(this));
        SetForegroundWindow(window);
        SetFocus(window);
    }
    ~FocusedWindow() {
        RemoveWindowSubclass(window, &CountLosses, 1);
        DestroyWindow(window);
    }
    int losses = 0; // the focus or the activation given to another window of ours

private:
    static LRESULT CALLBACK CountLosses(HWND w, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
        if ((message == WM_KILLFOCUS && OwnWindow(reinterpret_cast<HWND>(wParam))) ||
            (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE &&
             OwnWindow(reinterpret_cast<HWND>(lParam))))
            ++reinterpret_cast<FocusedWindow*>(self)->losses;
        return DefSubclassProc(w, message, wParam, lParam);
    }
    HWND window;
};

TEST_F(SilentMode, AWindowHoldingTheFocusKeepsItThroughTheWholeRun) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    FocusedWindow host;
    TestUpdaterDlg dialog(TestLaunch(ModeSilent, files.BaseUrl()));
    auto isUpdaters = [&](HWND w) {
        return w && (w == dialog.GetSafeHwnd() || IsChild(dialog, w));
    };
    int checks = 0, taken = 0;
    dialog.Then(
        TestUpdaterDlg::kOwnEnd,
        [&] {
            ++checks;
            taken += isUpdaters(GetFocus()) || isUpdaters(GetActiveWindow()) ||
                     isUpdaters(GetForegroundWindow());
            return false;
        },
        [] {});
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_EQ(StateSucceeded, dialog.State());
    EXPECT_GT(checks, 0);
    EXPECT_EQ(0, taken) << "of " << checks << " checks";
    EXPECT_EQ(0, host.losses);
}

} // namespace
