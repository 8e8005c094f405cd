// What the dialog's commands do in each state: decline, cancel with the
// confirmation answered either way, Exit software with the host's exit event,
// Finish, the close button, the keys Enter and Esc, and the system menu.
#include "DialogHarness.h"
#include "engine/Messages.h"
#include "res/resource.h"
#include "tests/download/DownloadTestSupport.h"

#include <gtest/gtest.h>

namespace {

class ServedTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(files.Connect(&why)) << why;
    }
    ServedFiles files;
};

std::string Confirmation() {
    return Ansi("当前程序正在更新Marnil，是否确定要退出运行？") + "|" + Ansi("升级提示");
}

HWND FindAboutBox(HWND dialog);

// ---- the command table

struct CommandCase {
    const char* name;
    int mode;
    Reach state;
    int control; // the button pressed
    int answer;  // to the confirmation, when it is asked
    // What follows.
    bool asks, ends, signalsHost, finishes;
};

std::ostream& operator<<(std::ostream& out, const CommandCase& c) {
    return out << c.name;
}

constexpr int kOptional = ModeOptional, kMandatory = ModeMandatory, kSilent = ModeSilent;
constexpr int kDecline = IDC_DONT_UPGRADE, kExit = IDC_EXIT_SOFTWARE, kClose = IDC_CLOSE_BUTTON;
constexpr bool Y = true, N = false;

// clang-format off
const CommandCase kCommands[] = {
    //  name                              mode        state             control      answer    asks ends host finish
    {"DeclineOffering",                   kOptional,  Reach::Offering,  kDecline,    IDOK,     N,   Y,   N,   N},
    {"CancelUpdatingAnsweredOk",          kOptional,  Reach::Updating,  kDecline,    IDOK,     Y,   Y,   N,   N},
    {"CancelUpdatingAnsweredCancel",      kOptional,  Reach::Updating,  kDecline,    IDCANCEL, Y,   N,   N,   N},
    {"CancelFailed",                      kOptional,  Reach::Failed,    kDecline,    IDOK,     N,   Y,   N,   N},
    {"ExitOffering",                      kMandatory, Reach::Offering,  kExit,       IDOK,     N,   Y,   Y,   N},
    {"ExitUpdatingAnsweredOk",            kMandatory, Reach::Updating,  kExit,       IDOK,     Y,   Y,   Y,   N},
    {"ExitUpdatingAnsweredCancel",        kMandatory, Reach::Updating,  kExit,       IDCANCEL, Y,   N,   N,   N},
    {"ExitFailed",                        kMandatory, Reach::Failed,    kExit,       IDOK,     N,   Y,   Y,   N},
    {"FinishSucceeded",                   kOptional,  Reach::Succeeded, IDC_FINISH,  IDOK,     N,   N,   N,   Y},
    {"CloseOptionalOffering",             kOptional,  Reach::Offering,  kClose,      IDOK,     N,   Y,   N,   N},
    {"CloseOptionalUpdatingAnsweredOk",   kOptional,  Reach::Updating,  kClose,      IDOK,     Y,   Y,   N,   N},
    {"CloseOptionalUpdatingAnsweredCancel", kOptional, Reach::Updating, kClose,      IDCANCEL, Y,   N,   N,   N},
    {"CloseOptionalFailed",               kOptional,  Reach::Failed,    kClose,      IDOK,     N,   Y,   N,   N},
    {"CloseOptionalSucceeded",            kOptional,  Reach::Succeeded, kClose,      IDOK,     N,   N,   N,   Y},
    {"CloseMandatoryOffering",            kMandatory, Reach::Offering,  kClose,      IDOK,     N,   Y,   Y,   N},
    {"CloseMandatoryUpdatingAnsweredOk",  kMandatory, Reach::Updating,  kClose,      IDOK,     Y,   Y,   Y,   N},
    {"CloseMandatoryUpdatingAnsweredCancel", kMandatory, Reach::Updating, kClose,    IDCANCEL, Y,   N,   N,   N},
    {"CloseMandatoryFailed",              kMandatory, Reach::Failed,    kClose,      IDOK,     N,   Y,   Y,   N},
    {"CloseMandatorySucceeded",           kMandatory, Reach::Succeeded, kClose,      IDOK,     N,   N,   N,   Y},
    {"CloseOtherOffering",                0,          Reach::Offering,  kClose,      IDOK,     N,   N,   N,   N},
    {"CloseOtherUpdating",                0,          Reach::Updating,  kClose,      IDOK,     N,   N,   N,   N},
    {"CloseOtherFailed",                  0,          Reach::Failed,    kClose,      IDOK,     N,   N,   N,   N},
    {"CloseOtherSucceeded",               0,          Reach::Succeeded, kClose,      IDOK,     N,   N,   N,   Y},
    {"CloseSilentUpdating",               kSilent,    Reach::Updating,  kClose,      IDOK,     N,   N,   N,   N},
    // In another mode every button stays visible and does what it does anywhere.
    {"DeclineOtherOffering",              0,          Reach::Offering,  kDecline,    IDOK,     N,   Y,   N,   N},
    {"ExitOtherOffering",                 0,          Reach::Offering,  kExit,       IDOK,     N,   Y,   Y,   N},
    // Commands of buttons that are hidden or disabled, as another program can
    // post them: none acts.
    {"FinishPostedWhileUpdating",         kMandatory, Reach::Updating,  IDC_FINISH,  IDOK,     N,   N,   N,   N},
    {"ExitPostedInOptionalMode",          kOptional,  Reach::Offering,  kExit,       IDOK,     N,   N,   N,   N},
    {"DeclinePostedInMandatoryMode",      kMandatory, Reach::Updating,  kDecline,    IDOK,     N,   N,   N,   N},
};
// clang-format on

class Commands : public ServedTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, Outcome) {
    const CommandCase& c = GetParam();
    ASSERT_TRUE(PrepareToReach(files, c.state));
    SessionEvent hostExit("*_ORVAK_EXIT_*");
    TestUpdaterDlg dialog(TestLaunch(c.mode, files.BaseUrl()));
    dialog.answer = c.answer;
    StepsToReach(dialog, c.state);
    int stateBefore = -1;
    dialog.Then("press", [&] {
        stateBefore = dialog.State();
        HWND button = dialog.Control(c.control);
        if (c.mode == ModeSilent || !IsWindowVisible(button) || !IsWindowEnabled(button))
            dialog.Command(c.control);
        else
            dialog.Click(c.control);
    });
    dialog.Then("still open", [&] {
        EXPECT_EQ(stateBefore, dialog.State());
        EXPECT_EQ(c.mode != ModeSilent, IsWindowVisible(dialog) != FALSE);
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(c.ends ? "still open" : "", dialog.Unfinished());
    EXPECT_EQ(c.asks ? std::vector<std::string>{Confirmation()} : std::vector<std::string>{},
              dialog.questions);
    EXPECT_EQ(c.signalsHost, hostExit.IsSet());
    EXPECT_EQ(c.finishes ? 1 : 0, dialog.finishCalls);
}

INSTANTIATE_TEST_SUITE_P(Table, Commands, ::testing::ValuesIn(kCommands),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return std::string(info.param.name);
                         });

// The host closes the updater through its exit event: like Cancel, without a
// question, while an attempt runs.
TEST_F(ServedTest, TheHostsExitEventEndsAnAttemptWithoutAsking) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Updating));
    SessionEvent updaterExit("*_UPDATER_EXIT_*");
    SessionEvent hostExit("*_ORVAK_EXIT_*");
    TestUpdaterDlg dialog(TestLaunch(ModeMandatory, files.BaseUrl()));
    StepsToReach(dialog, Reach::Updating);
    dialog.Then("host closes the updater", [&] { updaterExit.Set(); });
    dialog.ThenItEnds();
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_TRUE(dialog.questions.empty());
    EXPECT_FALSE(hostExit.IsSet());
}

// A success that arrives while the question is open is not thrown away by its
// OK: the dialog offers Finish, and the host is not told to exit.
class SuccessUnderQuestion : public ServedTest, public ::testing::WithParamInterface<int> {};

TEST_P(SuccessUnderQuestion, OkNoLongerAborts) {
    const int mode = GetParam();
    ASSERT_TRUE(files.PutDigestList({"Quorvel"}));
    ASSERT_TRUE(files.Rule("Quorvel.dll", "{\"stall_before\": 30}"));
    SessionEvent hostExit("*_ORVAK_EXIT_*");
    TestUpdaterDlg dialog(TestLaunch(mode, files.BaseUrl()));
    dialog.realQuestion = true;
    bool answered = false;
    dialog.Then("press Upgrade", [&] { dialog.Click(IDC_UPGRADE); });
    dialog.Then(
        "module listed", [&] { return dialog.PendingCount() == 1; },
        [&] {
            dialog.Click(mode == ModeOptional ? IDC_DONT_UPGRADE : IDC_EXIT_SOFTWARE);
            answered = true;
        });
    // Inside the message box's own modal loop: the download ends well.
    dialog.Then(
        "question shown", [&] { return FindAboutBox(dialog) != nullptr; },
        [&] {
            for (LPARAM token : dialog.AwaitedCompletions())
                dialog.PostMessage(WM_DOWNLOAD_DONE, DownloadOk, token);
        });
    dialog.Then(
        "success shown under the question", [&] { return dialog.State() == StateSucceeded; },
        [&] { PostMessageA(FindAboutBox(dialog), WM_COMMAND, IDOK, 0); });
    dialog.Then(
        "answered OK", [&] { return answered; },
        [&] {
            EXPECT_TRUE(IsWindowVisible(dialog));
            EXPECT_TRUE(dialog.View().finish);
            dialog.PostMessage(WM_CLOSE);
        });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
    EXPECT_EQ(1u, dialog.questions.size());
    EXPECT_FALSE(hostExit.IsSet());
    EXPECT_EQ(0, dialog.finishCalls);
}

INSTANTIATE_TEST_SUITE_P(Modes, SuccessUnderQuestion,
                         ::testing::Values(int{ModeOptional}, int{ModeMandatory}),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == ModeOptional ? "Cancel" : "Exit");
                         });

// ---- Finish itself

TEST_F(ServedTest, FinishLetsTheHostExitInstallsTheModuleAndEnds) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Succeeded));
    SessionEvent hostExit("*_ORVAK_EXIT_*");
    TestUpdaterDlg dialog(TestLaunch(ModeMandatory, files.BaseUrl()));
    dialog.runFinish = true;
    StepsToReach(dialog, Reach::Succeeded);
    dialog.Then("finish", [&] { dialog.Click(IDC_FINISH); });
    dialog.ThenItEnds();
    EXPECT_EQ(IDOK, dialog.RunModal());
    EXPECT_EQ(TestUpdaterDlg::kOwnEnd, dialog.Unfinished());
    EXPECT_TRUE(hostExit.IsSet());
    std::string installed;
    EXPECT_TRUE(ReadBytes(dialog.ProgramDir() + "Quorvel.dll", &installed));
    EXPECT_EQ(kNewModuleBytes, installed);
    EXPECT_FALSE(FileExists(dialog.ProgramDir() + "UpgradeBackup_P"));
}

// ---- keys

class Keys : public ServedTest, public ::testing::WithParamInterface<Reach> {};

// Enter and Esc do nothing, whichever control has the focus: the dialog
// stays, nothing starts, nothing is asked.
TEST_P(Keys, EnterAndEscDoNothing) {
    const Reach state = GetParam();
    ASSERT_TRUE(PrepareToReach(files, state));
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, files.BaseUrl()), "log");
    StepsToReach(dialog, state);
    int stateBefore = -1, attemptsBefore = -1;
    auto unchanged = [&] {
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(stateBefore, dialog.State());
        EXPECT_EQ(attemptsBefore, dialog.Book().attemptCount);
    };
    dialog.Then("keys to the focus and to the dialog", [&] {
        stateBefore = dialog.State();
        attemptsBefore = dialog.Book().attemptCount;
        for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            dialog.PostKey(key);
            dialog.PostKey(key, dialog);
        }
    });
    dialog.Then("keys to every button and the change log", [&] {
        unchanged();
        for (int id : {IDC_UPGRADE, IDC_DONT_UPGRADE, IDC_FINISH, IDC_CLOSE_BUTTON, IDC_CHANGE_LOG})
            for (WPARAM key : {VK_ESCAPE, VK_RETURN})
                dialog.PostKey(key, dialog.Control(id));
    });
    dialog.Then("with the focus on the change log", [&] {
        unchanged();
        dialog.ChangeLogBox().SetFocus();
        dialog.PostKey(VK_ESCAPE);
        dialog.PostKey(VK_RETURN);
    });
    dialog.Then("after the keys", [&] {
        unchanged();
        dialog.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
    EXPECT_TRUE(dialog.questions.empty());
    EXPECT_EQ(0, dialog.finishCalls);
}

INSTANTIATE_TEST_SUITE_P(States, Keys,
                         ::testing::Values(Reach::Offering, Reach::Updating, Reach::Failed,
                                           Reach::Succeeded),
                         [](const ::testing::TestParamInfo<Reach>& info) {
                             return std::string(Name(info.param));
                         });

// ---- the system menu

TEST(SystemMenu, AboutItemFollowsASeparatorAtTheEnd) {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, "http://127.0.0.1:1/"));
    ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
    HMENU menu = GetSystemMenu(dialog, FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(count - 2), TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, count - 1));
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(Ansi("关于 Updater(&A)..."), text);
}

// The About box of this thread, once it is shown.
HWND FindAboutBox(HWND dialog) {
    struct Search {
        HWND dialog;
        HWND found;
    } search{dialog, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM l) -> BOOL {
            auto* s = reinterpret_cast<Search*>(l);
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (window != s->dialog && IsWindowVisible(window) && strcmp(name, "#32770") == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(ServedTest, AboutOpensTheAboutBoxAndTheMenusCloseEndsWithoutAsking) {
    ASSERT_TRUE(PrepareToReach(files, Reach::Updating));
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, files.BaseUrl()));
    StepsToReach(dialog, Reach::Updating);
    bool aboutEnded = false;
    dialog.Then("open About", [&] {
        dialog.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        aboutEnded = true;
    });
    // Runs inside the About box's own modal loop.
    dialog.Then(
        "About shown", [&] { return FindAboutBox(dialog) != nullptr; },
        [&] {
            HWND about = FindAboutBox(dialog);
            char title[64] = {};
            GetWindowTextA(about, title, sizeof title);
            EXPECT_EQ(Ansi("关于 Updater"), title);
            // Modal to the dialog: owned by it (no task-bar button of its
            // own, never below it), the dialog disabled meanwhile, and
            // centred on it.
            EXPECT_EQ(dialog.GetSafeHwnd(), GetWindow(about, GW_OWNER));
            EXPECT_FALSE(GetWindowLongA(about, GWL_EXSTYLE) & WS_EX_APPWINDOW);
            EXPECT_FALSE(IsWindowEnabled(dialog));
            HWND above = about;
            while (above && above != dialog.GetSafeHwnd())
                above = GetWindow(above, GW_HWNDNEXT);
            EXPECT_EQ(dialog.GetSafeHwnd(), above) << "the dialog is not below the box";
            RECT a, d;
            GetWindowRect(about, &a);
            GetWindowRect(dialog, &d);
            EXPECT_NEAR((d.left + d.right) / 2.0, (a.left + a.right) / 2.0, 1.0);
            EXPECT_NEAR((d.top + d.bottom) / 2.0, (a.top + a.bottom) / 2.0, 1.0);
            PostMessageA(about, WM_COMMAND, IDOK, 0);
        });
    dialog.Then(
        "About ended", [&] { return aboutEnded; },
        [&] {
            EXPECT_TRUE(IsWindowVisible(dialog));
            EXPECT_TRUE(IsWindowEnabled(dialog));
            EXPECT_EQ(StateUpdating, dialog.State());
            dialog.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        });
    EXPECT_EQ(IDCANCEL, dialog.RunModal());
    EXPECT_EQ("", dialog.Unfinished());
    EXPECT_TRUE(dialog.questions.empty());
}

} // namespace
