#include "DialogHarness.h"

#include "engine/Digest.h"

#include "res/resource.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>

namespace {

// What the updater's start-up does before it runs the dialog: the rich-edit
// class of the change-log box, the progress control, COM.
class DialogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_NE(nullptr, LoadLibraryA("riched32.dll"));
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        CoInitialize(nullptr);
    }
    void TearDown() override { CoUninitialize(); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new DialogEnvironment);

constexpr UINT_PTR kStepTimer = 0x57E9;
constexpr UINT_PTR kTimeoutTimer = 0x71AE;
constexpr UINT_PTR kBarSubclass = 1;

bool Visible(HWND window) {
    return window && IsWindowVisible(window);
}

} // namespace

std::string Ansi(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return NarrowToAnsi(wide);
}

std::string Utf8(const std::string& ansi) {
    std::wstring wide = WidenAnsi(ansi);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

std::string TestFileName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    return name;
}

std::string FreshProgramFolder() {
    const char* binary = getenv("TEST_BINARY_DIR");
    std::string root = WinePathOf(std::string(binary ? binary : "/tmp") + "/tests/ui/out");
    CreateDirectoryA(root.c_str(), nullptr);
    std::string folder = root + "\\" + TestFileName();
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::string list = folder + std::string(2, '\0');
        SHFILEOPSTRUCTA remove{};
        remove.wFunc = FO_DELETE;
        remove.pFrom = list.c_str();
        remove.fFlags = FOF_NO_UI;
        SHFileOperationA(&remove);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

// ---- served files

bool ServedFiles::Connect(std::string* why) {
    prefix = TestFileName() + "-";
    return server.Connect(why);
}

std::string ServedFiles::BaseUrl() const {
    return server.Url("/" + prefix);
}

bool ServedFiles::Put(const std::string& name, const std::string& bytes) const {
    return server.PutFile(prefix + name, bytes);
}

bool ServedFiles::Rule(const std::string& name, const std::string& ruleJson) const {
    return server.SetRules("{\"/" + prefix + name + "\": " + ruleJson + "}");
}

bool ServedFiles::PutDigestList(const std::vector<std::string>& modules) const {
    // The served modules hold kNewModuleBytes; the list names their digest, so
    // a downloaded module passes its check.
    std::string digest = ComputeDigest(reinterpret_cast<const unsigned char*>(kNewModuleBytes),
                                       strlen(kNewModuleBytes), kDigestKey);
    std::string list = "[ModuleVersion]\r\n";
    for (const std::string& name : modules)
        list += name + "=" + digest + "\r\n";
    return Put("ModelMD5.dll", list);
}

size_t ServedFiles::Requests(const std::string& name) const {
    return server.Log("/" + prefix + name).size();
}

const char* const kNewModuleBytes = "the new Quorvel module";

const char* Name(Reach state) {
    switch (state) {
    case Reach::Offering:
        return "Offering";
    case Reach::Updating:
        return "Updating";
    case Reach::Failed:
        return "Failed";
    case Reach::Succeeded:
        return "Succeeded";
    }
    return "?";
}

bool PrepareToReach(const ServedFiles& files, Reach state) {
    switch (state) {
    case Reach::Offering:
        return true;
    case Reach::Updating:
        return files.Rule("ModelMD5.dll", "{\"stall_before\": 30}");
    case Reach::Failed:
        return files.PutDigestList({"Quorvel"}) && files.Rule("Quorvel.dll", "{\"status\": 404}");
    case Reach::Succeeded:
        return files.PutDigestList({"Quorvel"}) && files.Put("Quorvel.dll", kNewModuleBytes);
    }
    return false;
}

void StepsToReach(TestUpdaterDlg& dialog, Reach state) {
    static constexpr int kStates[] = {StateOffering, StateUpdating, StateFailed, StateSucceeded};
    if (state == Reach::Offering)
        return;
    if (dialog.Mode() != ModeSilent)
        dialog.Then("press Upgrade", [&dialog] { dialog.Click(IDC_UPGRADE); });
    int wanted = kStates[static_cast<int>(state)];
    dialog.Then(
        Name(state), [&dialog, wanted] { return dialog.State() == wanted; }, [] {});
}

SessionEvent::SessionEvent(const char* name) : event(CreateEventA(nullptr, TRUE, FALSE, name)) {}

SessionEvent::~SessionEvent() {
    ResetEvent(event);
    CloseHandle(event);
}

bool SessionEvent::IsSet() const {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

void SessionEvent::Set() const {
    SetEvent(event);
}

LaunchValues TestLaunch(int mode, const std::string& baseUrl) {
    LaunchValues launch;
    launch.mode = mode;
    launch.baseUrl = baseUrl;
    launch.programDir = FreshProgramFolder();
    return launch;
}

std::ostream& operator<<(std::ostream& out, const DialogView& v) {
    auto shown = [&](bool visible, const char* name) {
        if (visible)
            out << name << ' ';
    };
    out << "{visible: ";
    shown(v.upgrade, "Upgrade");
    shown(v.dontUpgrade, "DontUpgrade");
    shown(v.exitSoftware, "ExitSoftware");
    shown(v.finish, "Finish");
    shown(v.close, "Close");
    return out << (v.upgradeEnabled ? "; Upgrade enabled" : "; Upgrade disabled") << "; status \""
               << Utf8(v.status) << "\"}";
}

// ---- the dialog under test

TestUpdaterDlg::TestUpdaterDlg(const LaunchValues& launch, const CString& changeLog)
    : CUpdaterDlg(launch, changeLog) {}

TestUpdaterDlg::~TestUpdaterDlg() {
    if (hwnd)
        DestroyWindow();
}

BOOL TestUpdaterDlg::OnInitDialog() {
    BOOL result = CUpdaterDlg::OnInitDialog();
    SetWindowSubclass(progressBar, &BarProc, kBarSubclass, reinterpret_cast<DWORD_PTR>(this));
    if (modal) {
        ::SetTimer(hwnd, kStepTimer, 10, nullptr);
        ::SetTimer(hwnd, kTimeoutTimer, timeoutMs, nullptr);
    }
    return result;
}

LRESULT CALLBACK TestUpdaterDlg::BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
    if (message == PBM_SETPOS)
        reinterpret_cast<TestUpdaterDlg*>(self)->barPositions.push_back(static_cast<int>(wParam));
    return DefSubclassProc(window, message, wParam, lParam);
}

int TestUpdaterDlg::AskUser(const char* text, const char* caption) {
    questions.push_back(std::string(text) + "|" + caption);
    return realQuestion ? CUpdaterDlg::AskUser(text, caption) : answer;
}

void TestUpdaterDlg::OnFinish() {
    ++finishCalls;
    if (runFinish)
        CUpdaterDlg::OnFinish();
}

LRESULT TestUpdaterDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kStepTimer) {
        RunNextStep();
        return 0;
    }
    if (message == WM_TIMER && wParam == kTimeoutTimer) {
        ::KillTimer(hwnd, kTimeoutTimer);
        EndDialog(-2);
        return 0;
    }
    HWND window = hwnd;
    LRESULT result = CUpdaterDlg::WindowProc(message, wParam, lParam);
    if (Visible(window))
        everVisible = true;
    return result;
}

void TestUpdaterDlg::Then(const char* what, std::function<bool()> ready,
                          std::function<void()> action) {
    steps.push_back(Step{what, std::move(ready), std::move(action)});
}

// One step per tick: after a step that ends the dialog, the modal loop ends
// before the next tick, so no later step runs. A step that opens a nested
// modal loop (a message box, the About box) lets the next steps run inside it.
void TestUpdaterDlg::RunNextStep() {
    if (steps.empty() || (steps.front().ready && !steps.front().ready()))
        return;
    Step step = std::move(steps.front());
    steps.pop_front();
    step.action();
}

INT_PTR TestUpdaterDlg::RunModal(DWORD timeout) {
    timeoutMs = timeout;
    modal = true;
    INT_PTR result = DoModal();
    modal = false;
    return result;
}

std::string TestUpdaterDlg::Unfinished() const {
    return steps.empty() ? "" : steps.front().what;
}

DialogView TestUpdaterDlg::View() const {
    DialogView v;
    v.upgrade = Visible(Control(IDC_UPGRADE));
    v.dontUpgrade = Visible(Control(IDC_DONT_UPGRADE));
    v.exitSoftware = Visible(Control(IDC_EXIT_SOFTWARE));
    v.finish = Visible(Control(IDC_FINISH));
    v.close = Visible(Control(IDC_CLOSE_BUTTON));
    v.upgradeEnabled = ::IsWindowEnabled(Control(IDC_UPGRADE));
    v.status = statusLabel.GetWindowText();
    return v;
}

void TestUpdaterDlg::Click(int id) const {
    ::SendMessageA(Control(id), BM_CLICK, 0, 0);
}

void TestUpdaterDlg::Command(int id) const {
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Control(id)));
}

void TestUpdaterDlg::PostKey(WPARAM key, HWND window) const {
    if (!window)
        window = ::GetFocus() ? ::GetFocus() : hwnd;
    UINT scan = MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    ::PostMessageA(window, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    ::PostMessageA(window, WM_KEYUP, key,
                   1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
}

CSkinButtonEx& TestUpdaterDlg::Button(int id) {
    switch (id) {
    case IDC_UPGRADE:
        return upgradeButton;
    case IDC_DONT_UPGRADE:
        return dontUpgradeButton;
    case IDC_EXIT_SOFTWARE:
        return exitButton;
    case IDC_FINISH:
        return finishButton;
    default:
        return closeButton;
    }
}

std::string RichEditText(HWND box) {
    GETTEXTLENGTHEX length{GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
    LRESULT n = SendMessageA(box, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    if (n <= 0)
        return "";
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_USECRLF;
    get.codepage = 1200;
    LRESULT got = SendMessageA(box, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                               reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return NarrowToAnsi(text);
}
