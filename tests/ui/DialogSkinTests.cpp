// The dialog's look in a real window: where its controls end up, which
// pictures the skin settings choose, and the buttons' captions.
#include "DialogHarness.h"
#include "res/resource.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char* const kNoServer = "http://127.0.0.1:1/";

struct Place {
    long x, y, width, height;
    bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Place& p) {
    return out << "(" << p.x << ", " << p.y << ") " << p.width << " x " << p.height;
}

// Where control `id` sits in the dialog's client area.
Place PlaceOf(const TestUpdaterDlg& dialog, int id) {
    RECT r;
    GetWindowRect(dialog.Control(id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return Place{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The skin folder of index `n` in the program folder, made with its General
// sub-folder; ends in a backslash.
std::string SkinFolder(const std::string& programDir, int n) {
    std::string folder = programDir + "qimtools\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "Skin\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "Skin" + std::to_string(n) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "General").c_str(), nullptr);
    return folder + "General\\";
}

void SetSkinIndex(const std::string& programDir, const char* value) {
    WritePrivateProfileStringA("SkinSet", "SkinIndex", value,
                               (programDir + "SetConfig.ini").c_str());
}

// A strip of four frames of w x h, frame i filled with colours[i].
bool WriteStrip(const std::string& path, int w, int h, const COLORREF (&colours)[4]) {
    return WritePng(path, 4 * w, h, [&](int x, int) {
        COLORREF c = colours[x / w];
        return Gdiplus::Color::MakeARGB(255, GetRValue(c), GetGValue(c), GetBValue(c));
    });
}
bool WriteSolid(const std::string& path, int w, int h, COLORREF c) {
    return WritePng(path, w, h, [c](int, int) {
        return Gdiplus::Color::MakeARGB(255, GetRValue(c), GetGValue(c), GetBValue(c));
    });
}

const COLORREF kStripColours[4] = {RGB(0, 160, 0), RGB(0, 0, 160), RGB(160, 0, 0), RGB(90, 90, 90)};

// The dialog's own background as it paints it (without its child controls).
std::vector<COLORREF> Background(TestUpdaterDlg& dialog) {
    Canvas canvas(300, 320);
    dialog.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 300; ++x)
            pixels.push_back(canvas.At(x, y));
    return pixels;
}

// The background of a dialog with the built-in look, for comparison.
std::vector<COLORREF> BuiltInBackground() {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, kNoServer));
    EXPECT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
    return Background(dialog);
}

size_t Differences(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
    size_t n = a.size() == b.size() ? 0 : a.size() + b.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The button as it paints itself.
COLORREF PaintedAt(HWND button, int x, int y) {
    RECT r;
    GetClientRect(button, &r);
    Canvas canvas(r.right, r.bottom);
    SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    return canvas.At(x, y);
}

// The box around the caption's dark ink in the painted button (empty when none).
RECT InkBox(HWND button) {
    RECT r;
    GetClientRect(button, &r);
    Canvas canvas(r.right, r.bottom);
    SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    RECT ink{r.right, r.bottom, 0, 0};
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) {
            COLORREF c = canvas.At(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 110) {
                ink.left = std::min<LONG>(ink.left, x);
                ink.top = std::min<LONG>(ink.top, y);
                ink.right = std::max<LONG>(ink.right, x + 1);
                ink.bottom = std::max<LONG>(ink.bottom, y + 1);
            }
        }
    return ink;
}

// A caption in the middle of its button: centred across, and one pixel below
// the middle give or take what the glyphs' own margins add.
void ExpectCentredCaption(HWND button) {
    RECT r;
    GetClientRect(button, &r);
    RECT ink = InkBox(button);
    ASSERT_LT(ink.left, ink.right) << "no caption drawn";
    EXPECT_LE(std::abs((ink.left - 0) - (r.right - ink.right)), 1)
        << "ink from x " << ink.left << " to " << ink.right << " of " << r.right;
    double middle = (ink.top + ink.bottom) / 2.0;
    EXPECT_NEAR(r.bottom / 2.0 + 1, middle, 2.0)
        << "ink from y " << ink.top << " to " << ink.bottom << " of " << r.bottom;
}

constexpr int kCommandButtons[] = {IDC_UPGRADE, IDC_DONT_UPGRADE, IDC_EXIT_SOFTWARE, IDC_FINISH};

// ---- the built-in look

TEST(DialogLayout, BuiltInPlacesAndSiblingOrder) {
    TestUpdaterDlg dialog(TestLaunch(ModeOptional, kNoServer));
    ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(300, client.right);
    EXPECT_EQ(320, client.bottom);
    EXPECT_FALSE(dialog.GetStyle() & WS_CAPTION);
    EXPECT_TRUE(dialog.GetExStyle() & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(dialog.GetExStyle() & WS_EX_APPWINDOW);
    EXPECT_TRUE(dialog.GetExStyle() & WS_EX_TOPMOST);

    EXPECT_EQ((Place{267, 0, 33, 21}), PlaceOf(dialog, IDC_CLOSE_BUTTON));
    EXPECT_EQ((Place{128, 292, 66, 23}), PlaceOf(dialog, IDC_UPGRADE));
    for (int id : {IDC_DONT_UPGRADE, IDC_EXIT_SOFTWARE, IDC_FINISH})
        EXPECT_EQ((Place{209, 292, 66, 23}), PlaceOf(dialog, id)) << id;
    EXPECT_EQ((Place{10, 65, 280, 141}), PlaceOf(dialog, IDC_CHANGE_LOG));
    // The template's places in "宋体" 9-point pixels, whatever font stands in.
    EXPECT_EQ((Place{11, 215, 296, 12}), PlaceOf(dialog, IDC_STATUS));
    EXPECT_EQ((Place{11, 236, 281, 21}), PlaceOf(dialog, IDC_PROGRESS));
    // The footer reads as one line between the change log and the buttons.
    Place before = PlaceOf(dialog, IDC_FOOTER_BEFORE), link = PlaceOf(dialog, IDC_DOWNLOAD_LINK),
          after = PlaceOf(dialog, IDC_FOOTER_AFTER);
    EXPECT_EQ(before.y, link.y);
    EXPECT_EQ(link.y, after.y);
    EXPECT_LE(before.x + before.width, link.x);
    EXPECT_LE(link.x + link.width, after.x);
    EXPECT_GT(before.y, 206);
    EXPECT_LT(before.y + before.height, 292);

    // The three buttons sharing the bottom-right place: Finish above Exit
    // software above Don't upgrade.
    std::vector<HWND> order;
    for (HWND w = GetWindow(dialog.Control(IDC_UPGRADE), GW_HWNDFIRST); w;
         w = GetWindow(w, GW_HWNDNEXT))
        order.push_back(w);
    auto rank = [&](int id) {
        return std::find(order.begin(), order.end(), dialog.Control(id)) - order.begin();
    };
    EXPECT_LT(rank(IDC_FINISH), rank(IDC_EXIT_SOFTWARE));
    EXPECT_LT(rank(IDC_EXIT_SOFTWARE), rank(IDC_DONT_UPGRADE));
}

TEST(DialogLayout, CaptionsAreSkinTextsCentredOverEmptyWindowTexts) {
    TestUpdaterDlg dialog(TestLaunch(0, kNoServer)); // every button visible
    ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
    const char* captions[] = {"升级", "不升级", "退出软件", "完成"};
    for (int i = 0; i < 4; ++i) {
        int id = kCommandButtons[i];
        SCOPED_TRACE(captions[i]);
        EXPECT_EQ("", dialog.Button(id).GetWindowText());
        const std::vector<SkinText>& styles = dialog.Button(id).GetTextStyles();
        ASSERT_EQ(4u, styles.size());
        for (const SkinText& s : styles) {
            EXPECT_EQ(Ansi(captions[i]), s.text);
            EXPECT_EQ(Ansi("宋体"), s.fontName);
            EXPECT_EQ(9.0f, s.fontSize);
            EXPECT_EQ(0xFF000000u, s.textColor);
            EXPECT_EQ(AlignCenter | AlignMiddle, s.align);
            EXPECT_EQ(0.0f, s.x);
            EXPECT_EQ(1.0f, s.y);
            EXPECT_EQ(0.0f, s.width);
            EXPECT_EQ(0.0f, s.height);
        }
        ExpectCentredCaption(dialog.Control(id));
    }
    EXPECT_EQ("", dialog.Button(IDC_CLOSE_BUTTON).GetWindowText());
    EXPECT_TRUE(dialog.Button(IDC_CLOSE_BUTTON).GetTextStyles().empty());
    // The title and the offer on the background are in the same font.
    ASSERT_EQ(2u, dialog.BackgroundTexts().size());
    for (const SkinText& s : dialog.BackgroundTexts())
        EXPECT_EQ(Ansi("宋体"), s.fontName) << Utf8(s.text);
}

// ---- skin folders

TEST(DialogSkin, StripOfEightyByThirtyFramesMovesTheButtonsAndNothingElseChanges) {
    std::vector<COLORREF> builtIn = BuiltInBackground();
    LaunchValues launch = TestLaunch(ModeOptional, kNoServer);
    SetSkinIndex(launch.programDir, "2");
    ASSERT_TRUE(
        WriteStrip(SkinFolder(launch.programDir, 2) + "BoxBtn_S.png", 80, 30, kStripColours));
    TestUpdaterDlg dialog(launch);
    ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));

    EXPECT_EQ((Place{100, 285, 80, 30}), PlaceOf(dialog, IDC_UPGRADE));
    for (int id : {IDC_DONT_UPGRADE, IDC_EXIT_SOFTWARE, IDC_FINISH})
        EXPECT_EQ((Place{195, 285, 80, 30}), PlaceOf(dialog, id)) << id;
    for (int id : kCommandButtons)
        EXPECT_EQ(kStripColours[0], PaintedAt(dialog.Control(id), 3, 3)) << id;
    ExpectCentredCaption(dialog.Control(IDC_UPGRADE));
    // Everything else is built in.
    EXPECT_EQ((Place{267, 0, 33, 21}), PlaceOf(dialog, IDC_CLOSE_BUTTON));
    EXPECT_EQ((Place{10, 65, 280, 141}), PlaceOf(dialog, IDC_CHANGE_LOG));
    EXPECT_EQ(0u, Differences(builtIn, Background(dialog)));
}

TEST(DialogSkin, IndexZeroOrNoNumberUsesNoSkinFile) {
    std::vector<COLORREF> builtIn = BuiltInBackground();
    for (const char* index : {"0", "none"}) {
        SCOPED_TRACE(index);
        LaunchValues launch = TestLaunch(ModeOptional, kNoServer);
        SetSkinIndex(launch.programDir, index);
        std::string folder = SkinFolder(launch.programDir, 0);
        ASSERT_TRUE(WriteStrip(folder + "BoxBtn_S.png", 80, 30, kStripColours));
        ASSERT_TRUE(WriteSolid(folder + "PopupBoxBk.png", 9, 64, RGB(255, 0, 255)));
        ASSERT_TRUE(WriteSolid(folder + "BoxTopBk.png", 5, 45, RGB(0, 255, 255)));
        ASSERT_TRUE(WriteSolid(folder + "Close_Normal.png", 40, 24, RGB(255, 255, 0)));
        TestUpdaterDlg dialog(launch);
        ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
        EXPECT_EQ((Place{128, 292, 66, 23}), PlaceOf(dialog, IDC_UPGRADE));
        EXPECT_EQ((Place{267, 0, 33, 21}), PlaceOf(dialog, IDC_CLOSE_BUTTON));
        EXPECT_EQ(0u, Differences(builtIn, Background(dialog)));
    }
}

TEST(DialogSkin, EveryFileOfTheFolderReplacesItsBuiltInPicture) {
    LaunchValues launch = TestLaunch(ModeOptional, kNoServer);
    SetSkinIndex(launch.programDir, "3");
    std::string folder = SkinFolder(launch.programDir, 3);
    ASSERT_TRUE(WriteStrip(folder + "BoxBtn_S.png", 72, 26, kStripColours));
    ASSERT_TRUE(WriteSolid(folder + "PopupBoxBk.png", 9, 64, RGB(255, 0, 255)));
    ASSERT_TRUE(WriteSolid(folder + "BoxTopBk.png", 5, 45, RGB(0, 255, 255)));
    ASSERT_TRUE(WriteSolid(folder + "Close_Normal.png", 40, 24, RGB(255, 255, 0)));
    TestUpdaterDlg dialog(launch);
    ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));

    EXPECT_EQ((Place{260, 0, 40, 24}), PlaceOf(dialog, IDC_CLOSE_BUTTON));
    EXPECT_EQ(RGB(255, 255, 0), PaintedAt(dialog.Control(IDC_CLOSE_BUTTON), 20, 12));
    EXPECT_EQ((Place{116, 289, 72, 26}), PlaceOf(dialog, IDC_UPGRADE));
    EXPECT_EQ((Place{203, 289, 72, 26}), PlaceOf(dialog, IDC_FINISH));
    Canvas canvas(300, 320);
    dialog.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    EXPECT_EQ(RGB(255, 0, 255), canvas.At(200, 15)) << "the title band of the backdrop";
    EXPECT_EQ(RGB(0, 255, 255), canvas.At(150, 70)) << "the strip under the band";
}

// A skin file that is there but is no picture (a broken or half-written skin)
// is passed over like a missing one.
TEST(DialogSkin, FilesThatAreNoPicturesLeaveTheBuiltInLook) {
    std::vector<COLORREF> builtIn = BuiltInBackground();
    for (const std::string& bytes : {std::string("not a PNG at all"), std::string()}) {
        SCOPED_TRACE(bytes.size());
        LaunchValues launch = TestLaunch(ModeOptional, kNoServer);
        SetSkinIndex(launch.programDir, "4");
        std::string folder = SkinFolder(launch.programDir, 4);
        for (const char* name :
             {"BoxBtn_S.png", "PopupBoxBk.png", "BoxTopBk.png", "Close_Normal.png"})
            ASSERT_TRUE(WriteBytes(folder + name, bytes));
        TestUpdaterDlg dialog(launch);
        ASSERT_TRUE(dialog.Create(IDD_UPDATER_DIALOG));
        EXPECT_EQ((Place{128, 292, 66, 23}), PlaceOf(dialog, IDC_UPGRADE));
        EXPECT_EQ((Place{209, 292, 66, 23}), PlaceOf(dialog, IDC_DONT_UPGRADE));
        EXPECT_EQ((Place{267, 0, 33, 21}), PlaceOf(dialog, IDC_CLOSE_BUTTON));
        ExpectCentredCaption(dialog.Control(IDC_UPGRADE));
        EXPECT_EQ(0u, Differences(builtIn, Background(dialog)));
    }
}

// A silent run's window is never shown, so its pictures are never decoded:
// the buttons keep the size of the template instead of their pictures'.
TEST(DialogSkin, ASilentWindowTakesNoPictures) {
    TestUpdaterDlg shown(TestLaunch(ModeOptional, kNoServer));
    ASSERT_TRUE(shown.Create(IDD_UPDATER_DIALOG));
    EXPECT_EQ(33, PlaceOf(shown, IDC_CLOSE_BUTTON).width);
    TestUpdaterDlg silent(TestLaunch(ModeSilent, kNoServer));
    ASSERT_TRUE(silent.Create(IDD_UPDATER_DIALOG));
    RECT button{0, 0, 50, 14}; // the template's size of every button, in dialog units
    MapDialogRect(silent.GetSafeHwnd(), &button);
    for (int id : {IDC_CLOSE_BUTTON, IDC_UPGRADE}) {
        Place place = PlaceOf(silent, id);
        EXPECT_EQ(button.right, place.width) << id;
        EXPECT_EQ(button.bottom, place.height) << id;
    }
}

} // namespace
