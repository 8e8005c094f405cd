// The update dialog under test, with real windows under Wine. A test either
// makes it modeless (Create) and looks at it, or runs it modally with a script:
// steps that each wait for their condition and then act, run from a timer
// inside the dialog's own modal loop, so that keys, clicks and the engine's
// messages go the way they go for the user.
#pragma once

#include "tests/download/TestServerClient.h"
#include "ui/UpdaterDlg.h"

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Text in the process's code page (936) from UTF-8 source text, and back.
std::string Ansi(const char* utf8);
std::string Utf8(const std::string& ansi);

// An empty folder of the running test, ending in a backslash: the dialog's
// program folder, so that nothing one test leaves behind reaches another.
std::string FreshProgramFolder();

// The running test's name, usable in a file name.
std::string TestFileName();

// Files on the run's local test server that belong to the running test alone:
// every name is put under the test's own prefix, and BaseUrl() ends in that
// prefix, so "<BaseUrl>ModelMD5.dll" is this test's digest list.
class ServedFiles {
public:
    bool Connect(std::string* why);
    std::string BaseUrl() const;
    bool Put(const std::string& name, const std::string& bytes) const;
    // A rule of tests/server/testserver.py for one file, e.g. {"stall_before": 30}.
    bool Rule(const std::string& name, const std::string& ruleJson) const;
    // A digest list naming each of `modules` with the digest of kNewModuleBytes,
    // which no local file has, so that an attempt downloads every one of them.
    bool PutDigestList(const std::vector<std::string>& modules) const;
    // How many requests for `name` the server has answered so far.
    size_t Requests(const std::string& name) const;

private:
    TestServerClient server;
    std::string prefix;
};

// The states a test drives the dialog to, through a real attempt against the
// test server: PrepareToReach serves what makes the attempt end there
// (Updating: the digest list never comes), and StepsToReach adds the steps that
// press Upgrade (not in silent mode, where the attempt starts by itself) and
// wait for the state. Failed takes the four attempts of a first Upgrade.
enum class Reach { Offering, Updating, Failed, Succeeded };
const char* Name(Reach state);
inline void PrintTo(Reach state, std::ostream* out) {
    *out << Name(state);
}
bool PrepareToReach(const ServedFiles& files, Reach state);
class TestUpdaterDlg;
void StepsToReach(TestUpdaterDlg& dialog, Reach state);
// The bytes of "Quorvel.dll" that a successful attempt downloads.
extern const char* const kNewModuleBytes;

// A named manual-reset event of the launch hand-off, opened (or made, as the
// host makes its own) for one test and reset when the test ends, since other
// processes of the Wine session see it.
class SessionEvent {
public:
    explicit SessionEvent(const char* name);
    ~SessionEvent();
    bool IsSet() const;
    void Set() const;

private:
    HANDLE event;
};

// The launch values of a test: the mode, the base URL and a fresh program folder.
LaunchValues TestLaunch(int mode, const std::string& baseUrl);

// What the user sees of the dialog's commands and status line.
struct DialogView {
    bool upgrade = false, dontUpgrade = false, exitSoftware = false, finish = false, close = false;
    bool upgradeEnabled = false;
    std::string status; // code page 936
    bool operator==(const DialogView&) const = default;
};
std::ostream& operator<<(std::ostream& out, const DialogView& view);

class TestUpdaterDlg : public CUpdaterDlg {
public:
    explicit TestUpdaterDlg(const LaunchValues& launch, const CString& changeLog = CString());
    ~TestUpdaterDlg() override;

    // The questions ConfirmAbort asked ("text|caption"), and the answer given.
    std::vector<std::string> questions;
    int answer = IDOK;
    // With realQuestion the dialog's own message box asks instead, and the
    // next steps run inside its modal loop; the box's answer counts.
    bool realQuestion = false;
    // How often Finish ran; with runFinish the real Finish follows.
    int finishCalls = 0;
    bool runFinish = false;
    // Whether the window was visible after any message it handled.
    bool everVisible = false;
    // Every position the progress bar was given, in order.
    std::vector<int> barPositions;

    // The script of a modal run: `what` names the step in failure messages;
    // `ready` (none: at once) is polled every 10 ms on the dialog's thread.
    void Then(const char* what, std::function<bool()> ready, std::function<void()> action);
    void Then(const char* what, std::function<void()> action) { Then(what, nullptr, action); }
    // A last step that never runs: Unfinished() names it when the dialog ended
    // by itself.
    static constexpr const char* kOwnEnd = "the dialog ends by itself";
    void ThenItEnds() {
        Then(
            kOwnEnd, [] { return false; }, [] {});
    }
    // DoModal; after `timeoutMs` the dialog ends itself with -2.
    INT_PTR RunModal(DWORD timeoutMs = 20000);
    // The step still waiting when the dialog ended, or empty when all ran.
    std::string Unfinished() const;

    DialogView View() const;
    HWND Control(int id) const { return GetDlgItemHwnd(id); }
    // A click on the control as the button itself reports it (BM_CLICK).
    void Click(int id) const;
    // The button's command as the dialog receives it (WM_COMMAND, BN_CLICKED),
    // for buttons nobody can click (the hidden window of silent mode).
    void Command(int id) const;
    // A key press as the keyboard delivers it: posted to `window` (null: the
    // window with the focus, or the dialog), through the modal loop.
    void PostKey(WPARAM key, HWND window = nullptr) const;
    CSkinButtonEx& Button(int id);
    CRichEditCtrl& ChangeLogBox() { return changeLogBox; }
    size_t PendingCount() const { return engine.PendingCount(); }
    // Ends the engine's threads as the dialog's end does; false when some did
    // not end within `waitMs`.
    bool EndEngine(DWORD waitMs) { return engine.Shutdown(waitMs); }
    // The completion tokens the engine still awaits from the attempt's workers.
    std::vector<LPARAM> AwaitedCompletions() const { return engine.AwaitedCompletions(); }
    int Mode() const { return engine.Launch().mode; }
    // The texts drawn on the window's background.
    const std::vector<SkinText>& BackgroundTexts() const { return texts; }
    std::string ProgramDir() const { return engine.Launch().programDir; }

protected:
    BOOL OnInitDialog() override;
    int AskUser(const char* text, const char* caption) override;
    void OnFinish() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> action;
    };
    static LRESULT CALLBACK BarProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void RunNextStep();

    std::deque<Step> steps;
    DWORD timeoutMs = 20000;
    bool modal = false;
};

// The whole text of a rich-edit control, line ends as CR LF, in code page 936.
std::string RichEditText(HWND box);
