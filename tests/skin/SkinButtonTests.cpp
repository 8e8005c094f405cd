#include "SkinTestIds.h"
#include "SkinTestSupport.h"
#include "res/resource.h"
#include "skin/SkinButtonEx.h"
#include "skin/SkinDialog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// ---- decisions

TEST(ButtonDrawState, DisabledThenPressedThenHoverThenFocus) {
    EXPECT_EQ(DrawNormal, ComputeDrawState(0, 0, false));
    EXPECT_EQ(DrawFocused, ComputeDrawState(ODS_FOCUS, 0, false));
    EXPECT_EQ(DrawHover, ComputeDrawState(ODS_FOCUS, 0, true));
    EXPECT_EQ(DrawPressed, ComputeDrawState(ODS_FOCUS | ODS_SELECTED, 0, true));
    EXPECT_EQ(DrawPressed, ComputeDrawState(0, 1, true));
    EXPECT_EQ(DrawPressed, ComputeDrawState(0, 2, false)) << "any non-zero check state";
    EXPECT_EQ(DrawDisabled, ComputeDrawState(ODS_DISABLED | ODS_SELECTED | ODS_FOCUS, 1, true));
}

TEST(ButtonFrames, AFrameCountBelowOneIsOneFrame) {
    EXPECT_EQ(66, FrameWidth(264, 4));
    EXPECT_EQ(264, FrameWidth(264, 0));
    EXPECT_EQ(264, FrameWidth(264, -3));
    EXPECT_EQ(1, EffectiveFrameCount(0));
}

TEST(ButtonLayers, BackdropsByStateUnderTheForeground) {
    using L = std::vector<Layer>;
    LayerSet all{true, true, true, true};
    EXPECT_EQ((L{Layer::HoverBackdrop, Layer::Foreground}), LayersFor(DrawHover, all));
    EXPECT_EQ((L{Layer::PressedBackdrop, Layer::Foreground}), LayersFor(DrawPressed, all));
    EXPECT_EQ((L{Layer::Disabled}), LayersFor(DrawDisabled, all));
    EXPECT_EQ((L{Layer::Foreground}), LayersFor(DrawNormal, all));
    EXPECT_EQ((L{Layer::Foreground}), LayersFor(DrawFocused, all));
    LayerSet foreOnly{false, false, false, true};
    EXPECT_EQ((L{Layer::Foreground}), LayersFor(DrawHover, foreOnly));
    EXPECT_EQ((L{Layer::Foreground}), LayersFor(DrawDisabled, foreOnly));
    EXPECT_EQ(L{}, LayersFor(DrawNormal, LayerSet{true, true, true, false}));
}

TEST(ButtonGroups, WalkStopsAtItselfTheEndOrARepeat) {
    // 1 -> 2 -> 3 -> 1
    auto ring = [](int c) { return c % 3 + 1; };
    EXPECT_EQ((std::vector<int>{2, 3}), GroupPeers(1, ring));
    // A start that the walk skips (disabled): 9 -> 2 -> 3 -> 2 ...
    auto skipping = [](int c) { return c == 9 ? 2 : c == 2 ? 3 : 2; };
    EXPECT_EQ((std::vector<int>{2, 3}), GroupPeers(9, skipping));
    EXPECT_TRUE(GroupPeers(1, [](int) { return 0; }).empty());
    EXPECT_TRUE(GroupPeers(1, [](int) { return 1; }).empty());
}

// ---- real buttons

// The skinned test dialog with its buttons bound, the built-in band behind
// them, and a record of the clicks its buttons report (with the check state
// each button had when its click arrived).
class ButtonDialog : public CSkinDialog {
public:
    ButtonDialog() : CSkinDialog(IDD_SKIN_TEST) {
        SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
    }
    CSkinButtonEx upgrade, exitButton, finish, dontUpgrade, close;
    CSkinButtonEx radioA, radioB, radioC, check, checkLeftText, plainRadio;

    struct Click {
        int id;
        int check;
    };
    std::vector<Click> clicks;

    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_UPGRADE, upgrade);
        DDX_Control(dx, IDC_EXIT, exitButton);
        DDX_Control(dx, IDC_FINISH, finish);
        DDX_Control(dx, IDC_DONT_UPGRADE, dontUpgrade);
        DDX_Control(dx, IDC_CLOSE, close);
        DDX_Control(dx, IDC_RADIO_A, radioA);
        DDX_Control(dx, IDC_RADIO_B, radioB);
        DDX_Control(dx, IDC_RADIO_C, radioC);
        DDX_Control(dx, IDC_CHECK, check);
        DDX_Control(dx, IDC_CHECK_LEFT_TEXT, checkLeftText);
        DDX_Control(dx, IDC_PLAIN_RADIO, plainRadio);
    }
    void DrawOverlay(CDC* dc) override {
        for (CSkinButtonEx* b : {&close, &upgrade, &dontUpgrade, &exitButton, &finish})
            b->CaptureBackground(dc);
    }
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_COMMAND && HIWORD(w) == BN_CLICKED && l)
            clicks.push_back({LOWORD(w), static_cast<int>(::SendMessageA(reinterpret_cast<HWND>(l),
                                                                         BM_GETCHECK, 0, 0))});
        return CSkinDialog::WindowProc(message, w, l);
    }
    int ClicksOf(int id) const {
        int n = 0;
        for (const Click& c : clicks)
            n += c.id == id;
        return n;
    }
};

const COLORREF kFrameColors[4] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200), RGB(90, 90, 90)};

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The pointer starts away from the window: a window that appears under
        // it gets a mouse move, and its button would start hovered.
        SetCursorPos(10, 760);
        ASSERT_TRUE(dialog.Create(IDD_SKIN_TEST));
        // Away from where the other tests' windows appear, so that only this
        // window lies under the pointer.
        SetWindowPos(dialog, HWND_TOP, 700, 420, 300, 320, 0);
        // Without caption styles a button draws its window text; the pixel
        // tests look at the pictures alone.
        for (CSkinButtonEx* b : {&dialog.upgrade, &dialog.exitButton, &dialog.finish,
                                 &dialog.dontUpgrade, &dialog.close})
            b->SetWindowText("");
        // Side by side inside the window, where the pointer can reach them.
        const struct {
            CSkinButtonEx* button;
            int x, y;
        } places[] = {{&dialog.upgrade, 10, 250},
                      {&dialog.dontUpgrade, 80, 250},
                      {&dialog.exitButton, 150, 250},
                      {&dialog.finish, 220, 250},
                      {&dialog.close, 267, 0}};
        for (const auto& p : places)
            p.button->SetWindowPos(nullptr, p.x, p.y, 66, 23, SWP_NOZORDER);
        PumpMessages();
        // Four solid frames, and a last column of a fifth colour for strips of 265.
        stripPath = folder.Path("strip.png");
        ASSERT_TRUE(WritePng(stripPath, 265, 23, [](int x, int) -> Gdiplus::ARGB {
            if (x >= 264)
                return 0xFFFFFF00;
            COLORREF c = kFrameColors[x / 66];
            return 0xFF000000 | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }));
    }
    void TearDown() override {
        SetCursorPos(10, 760);
        PumpFor(20);
        dialog.DestroyWindow();
    }

    // The button painted the platform's way (owner draw through the parent)
    // into a canvas.
    COLORREF PaintedAt(CSkinButtonEx& b, int x, int y) {
        Canvas canvas(80, 40, RGB(255, 0, 255));
        SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        return canvas.At(x, y);
    }
    // Puts the real pointer on client point (x, y) of `w`.
    static void PointerAt(HWND w, int x, int y) {
        POINT p{x, y};
        ClientToScreen(w, &p);
        SetCursorPos(p.x, p.y);
    }
    static void Press(HWND w, int x, int y) {
        PointerAt(w, x, y);
        SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    }
    static void Release(HWND w, int x, int y) {
        PointerAt(w, x, y);
        SendMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    static SIZE SizeOf(HWND w) {
        RECT r;
        GetWindowRect(w, &r);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }

    ButtonDialog dialog;
    TempFolder folder;
    std::string stripPath;
};

TEST_F(ButtonTest, SubclassingRecordsTheKindAndMakesEveryButtonOwnerDrawn) {
    EXPECT_EQ(BS_DEFPUSHBUTTON, dialog.upgrade.GetButtonKind());
    EXPECT_EQ(KindPushButton, dialog.dontUpgrade.GetButtonKind());
    EXPECT_EQ(KindAutoCheckBox, dialog.check.GetButtonKind());
    EXPECT_EQ(KindAutoRadioButton, dialog.radioA.GetButtonKind());
    EXPECT_EQ(BS_AUTOCHECKBOX | BS_LEFTTEXT, dialog.checkLeftText.GetButtonKind());
    for (CSkinButtonEx* b : {&dialog.upgrade, &dialog.check, &dialog.radioA, &dialog.plainRadio,
                             &dialog.checkLeftText})
        EXPECT_EQ(static_cast<DWORD>(BS_OWNERDRAW), b->GetStyle() & BS_TYPEMASK)
            << b->GetButtonKind();
    EXPECT_TRUE(dialog.checkLeftText.GetStyle() & BS_LEFTTEXT);
}

TEST_F(ButtonTest, BuiltInStripSizesTheButtonToOneFrame) {
    dialog.upgrade.SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
    EXPECT_TRUE(dialog.upgrade.IsStripMode());
    EXPECT_EQ(4, dialog.upgrade.GetFrameCount());
    EXPECT_EQ(66, dialog.upgrade.GetFrameWidth());
    EXPECT_EQ(23, dialog.upgrade.GetFrameHeight());
    SIZE size = SizeOf(dialog.upgrade);
    EXPECT_EQ(66, size.cx);
    EXPECT_EQ(23, size.cy);
    // Without the flag the button keeps its size.
    SIZE before = SizeOf(dialog.finish);
    dialog.finish.SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, FALSE, FALSE);
    EXPECT_EQ(before.cx, SizeOf(dialog.finish).cx);
}

TEST_F(ButtonTest, EachStateShowsItsFrameAndFocusShowsTheFirst) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    EXPECT_EQ(66, b.GetFrameWidth()) << "265 / 4, the remainder dropped";
    EXPECT_EQ(kFrameColors[0], PaintedAt(b, 33, 11));

    PointerAt(b, 10, 10);
    SendMessageA(b, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(kFrameColors[1], PaintedAt(b, 33, 11)) << "hover";
    SendMessageA(b, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(kFrameColors[0], PaintedAt(b, 33, 11)) << "left";

    b.SetState(TRUE);
    EXPECT_EQ(kFrameColors[2], PaintedAt(b, 33, 11)) << "pushed";
    b.SetState(FALSE);

    b.SetFocus();
    EXPECT_EQ(kFrameColors[0], PaintedAt(b, 33, 11)) << "focused";

    b.EnableWindow(FALSE);
    EXPECT_EQ(kFrameColors[3], PaintedAt(b, 33, 11)) << "disabled";
    // The strip's last column is never shown.
    EXPECT_EQ(kFrameColors[3], PaintedAt(b, 65, 11));
}

TEST_F(ButtonTest, SingleFrameIsBrightenedUnderThePointerAndGreyWhenDisabled) {
    std::string path = folder.Path("single.png");
    ASSERT_TRUE(WritePng(path, 40, 20, [](int, int) { return 0xFF6496C8u; })); // (100, 150, 200)
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImageFile(path.c_str(), 1, TRUE, FALSE);
    EXPECT_COLOR_NEAR(RGB(100, 150, 200), PaintedAt(b, 20, 10), 1);
    PointerAt(b, 5, 5);
    SendMessageA(b, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_COLOR_NEAR(RGB(118, 170, 223), PaintedAt(b, 20, 10), 2) << "1.05 v + 0.05";
    b.SetState(TRUE);
    EXPECT_COLOR_NEAR(RGB(100, 150, 200), PaintedAt(b, 20, 10), 1) << "pressed is plain";
    b.SetState(FALSE);
    b.EnableWindow(FALSE);
    EXPECT_COLOR_NEAR(RGB(141, 141, 141), PaintedAt(b, 20, 10), 2) << "0.3 R + 0.59 G + 0.11 B";
}

TEST_F(ButtonTest, LayeredModeDrawsTheForegroundOverTheSnapshot) {
    CSkinButtonEx& b = dialog.close;
    b.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
    EXPECT_FALSE(b.IsStripMode());
    SIZE size = SizeOf(b);
    EXPECT_EQ(33, size.cx);
    EXPECT_EQ(21, size.cy);
    SetWindowPos(b, nullptr, 267, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // The background the dialog painted, as the overlay hook hands it over:
    // a pattern whose colour tells where it was taken.
    Canvas background(300, 320);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 300; ++x)
            SetPixel(background.Dc(), x, y, RGB(x % 256, y * 8, 77));
    CDC dc(background.Dc());
    b.CaptureBackground(&dc);
    EXPECT_EQ(RGB((267 + 2) % 256, 2 * 8, 77), PaintedAt(b, 2, 2));
    EXPECT_EQ(RGB(255, 255, 255), PaintedAt(b, 16, 10)) << "the cross";

    // Hover without a hover backdrop: only the foreground over the snapshot.
    PointerAt(b, 4, 4);
    SendMessageA(b, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    EXPECT_EQ(RGB((267 + 2) % 256, 2 * 8, 77), PaintedAt(b, 2, 2));
    b.SetHoverImage(IDB_CLOSE_HOVER, "PNG");
    COLORREF hovered = PaintedAt(b, 2, 18);
    EXPECT_GT(Red(hovered), Green(hovered) + 60) << ColorText(hovered);
    EXPECT_EQ(RGB(255, 255, 255), PaintedAt(b, 16, 10));
    SendMessageA(b, WM_MOUSELEAVE, 0, 0);

    // Disabled: the foreground unless there is a disabled image, which is drawn alone.
    b.EnableWindow(FALSE);
    EXPECT_EQ(RGB(255, 255, 255), PaintedAt(b, 16, 10));
    b.SetDisabledImage(IDB_CLOSE_DISABLED, "PNG");
    COLORREF disabled = PaintedAt(b, 16, 10);
    EXPECT_NE(RGB(255, 255, 255), disabled);
    EXPECT_LT(abs(Red(disabled) - Green(disabled)), 60) << ColorText(disabled);
}

// The dialog numbers each background it draws; a snapshot is kept only while
// that number and the button's place stay the same.
TEST_F(ButtonTest, ASnapshotIsTakenAgainWhenTheBackgroundOrThePlaceChanges) {
    CSkinButtonEx& b = dialog.close;
    b.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
    SetWindowPos(b, nullptr, 267, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Canvas red(300, 320, RGB(255, 0, 0)), blue(300, 320, RGB(0, 0, 255));
    Canvas green(300, 320, RGB(0, 255, 0));
    CDC redDc(red.Dc()), blueDc(blue.Dc()), greenDc(green.Dc());
    b.CaptureBackground(&redDc, 7);
    EXPECT_EQ(RGB(255, 0, 0), PaintedAt(b, 2, 2));
    b.CaptureBackground(&blueDc, 8);
    EXPECT_EQ(RGB(0, 0, 255), PaintedAt(b, 2, 2)) << "a new background";
    SetWindowPos(b, nullptr, 200, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    b.CaptureBackground(&greenDc, 8);
    EXPECT_EQ(RGB(0, 255, 0), PaintedAt(b, 2, 2)) << "the button moved";
}

TEST_F(ButtonTest, PressedBackdropShowsWhilePushed) {
    CSkinButtonEx& b = dialog.close;
    b.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
    b.SetPressedImage(IDB_CLOSE_PRESSED, "PNG");
    Canvas white(300, 320);
    CDC dc(white.Dc());
    b.CaptureBackground(&dc);
    EXPECT_EQ(RGB(255, 255, 255), PaintedAt(b, 5, 18));
    b.SetState(TRUE);
    COLORREF pressed = PaintedAt(b, 5, 18);
    EXPECT_GT(Red(pressed), Blue(pressed) + 50) << ColorText(pressed);
}

TEST_F(ButtonTest, NoSnapshotGivenTakesOneFromTheParentWindow) {
    CSkinButtonEx& b = dialog.close;
    b.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
    b.CaptureBackground(nullptr);
    EXPECT_EQ(RGB(255, 255, 255), PaintedAt(b, 16, 10));
}

TEST_F(ButtonTest, StripModeWithoutAPictureDrawsNothing) {
    EXPECT_EQ(RGB(255, 0, 255), PaintedAt(dialog.exitButton, 5, 5));
}

TEST_F(ButtonTest, MissingSkinFilesChangeNothing) {
    CSkinButtonEx& b = dialog.upgrade;
    b.SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
    COLORREF before = PaintedAt(b, 33, 11);
    b.SetStripImageFile(folder.Path("missing.png").c_str(), 2, TRUE, FALSE);
    EXPECT_EQ(4, b.GetFrameCount());
    EXPECT_EQ(66, b.GetFrameWidth());
    EXPECT_EQ(66, SizeOf(b).cx);
    EXPECT_EQ(before, PaintedAt(b, 33, 11));
    b.SetForeImageFile(folder.Path("missing.png").c_str(), TRUE, FALSE);
    EXPECT_TRUE(b.IsStripMode());
    // Files that cannot show a frame are as good as missing: an empty file, a
    // folder of that name, a strip narrower than its frame count.
    std::string empty = folder.Path("empty.png");
    CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    std::string directory = folder.Path("General");
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    std::string narrow = folder.Path("narrow.png");
    ASSERT_TRUE(WritePng(narrow, 3, 23, [](int, int) { return 0xFF00FF00u; }));
    for (const std::string& path : {empty, directory, narrow}) {
        b.SetStripImageFile(path.c_str(), 4, TRUE, FALSE);
        EXPECT_EQ(66, b.GetFrameWidth()) << path;
        EXPECT_EQ(66, SizeOf(b).cx) << path;
        EXPECT_EQ(23, SizeOf(b).cy) << path;
        b.SetForeImageFile(path == narrow ? empty.c_str() : path.c_str(), TRUE, FALSE);
        EXPECT_TRUE(b.IsStripMode()) << path;
    }
    EXPECT_EQ(before, PaintedAt(b, 33, 11));
    // A resource that is missing does replace: the button shrinks to nothing.
    b.SetStripImage(9999, "PNG", 4, TRUE, FALSE);
    EXPECT_EQ(0, SizeOf(b).cx);
    EXPECT_EQ(0, b.GetFrameWidth());
}

TEST_F(ButtonTest, RegionFlagShapesTheButtonFromTheFirstFrame) {
    std::string path = folder.Path("shaped.png");
    // Frame 0: left half opaque; frame 1: all opaque.
    ASSERT_TRUE(
        WritePng(path, 40, 10, [](int x, int) { return x < 10 || x >= 20 ? 0xFF000000u : 0u; }));
    dialog.finish.SetStripImageFile(path.c_str(), 2, TRUE, TRUE);
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(ERROR, GetWindowRgn(dialog.finish, region.Get()));
    RECT box;
    GetRgnBox(region.Get(), &box);
    EXPECT_TRUE(SameRect(RECT{0, 0, 10, 10}, box));
}

TEST_F(ButtonTest, CaptionStylesFollowTheStateAndPlainTextMovesWhenPressed) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
    SkinText style;
    style.text = "WWW";
    style.fontName = "\xCB\xCE\xCC\xE5";
    style.fontSize = 12;
    style.align = AlignCenter | AlignMiddle;
    SkinText styles[4] = {style, style, style, style};
    const Gdiplus::ARGB colors[4] = {0xFF000000, 0xFFFF0000, 0xFF00A000, 0xFF808080};
    for (int i = 0; i < 4; ++i)
        styles[i].textColor = colors[i];
    b.SetTextStyles(styles[0], styles[1], styles[2], styles[3]);

    auto inkColors = [&](int* red, int* green, int* black) {
        Canvas canvas(66, 23);
        SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        *red = *green = *black = 0;
        for (int y = 0; y < 23; ++y)
            for (int x = 15; x < 51; ++x) {
                COLORREF c = canvas.At(x, y);
                *red += Near(c, RGB(255, 0, 0), 40);
                *green += Near(c, RGB(0, 160, 0), 40);
                *black += Near(c, RGB(0, 0, 0), 40);
            }
    };
    int red, green, black;
    inkColors(&red, &green, &black);
    EXPECT_GT(black, 10);
    EXPECT_EQ(0, red);
    b.SetState(TRUE);
    inkColors(&red, &green, &black);
    EXPECT_GT(green, 10);
    EXPECT_EQ(0, black);
    b.SetState(FALSE);
    b.SetFocus();
    inkColors(&red, &green, &black);
    EXPECT_GT(black, 10) << "focus uses the normal style";
}

TEST_F(ButtonTest, PlainCaptionIsTheWindowTextMovedByOneWhenPressed) {
    CSkinButtonEx& b = dialog.exitButton;
    std::string path = folder.Path("white.png");
    ASSERT_TRUE(WritePng(path, 66, 23, [](int, int) { return 0xFFFFFFFFu; }));
    b.SetStripImageFile(path.c_str(), 1, TRUE, FALSE);
    b.SetWindowText("W");
    auto firstInk = [&](POINT* p) {
        Canvas canvas(66, 23);
        SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 66; ++x)
                if (canvas.At(x, y) != RGB(255, 255, 255)) {
                    *p = POINT{x, y};
                    return true;
                }
        return false;
    };
    POINT normal{}, pressed{};
    ASSERT_TRUE(firstInk(&normal));
    b.SetState(TRUE);
    ASSERT_TRUE(firstInk(&pressed));
    EXPECT_EQ(normal.x + 1, pressed.x);
    EXPECT_EQ(normal.y + 1, pressed.y);
}

// ---- check states

TEST_F(ButtonTest, SetCheckOnPushButtonsAndCheckBoxes) {
    dialog.dontUpgrade.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    dialog.upgrade.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    EXPECT_EQ(1, SendMessageA(dialog.dontUpgrade, BM_SETCHECK, 1, 0));
    EXPECT_EQ(0, dialog.dontUpgrade.GetCheck());
    EXPECT_EQ(kFrameColors[0], PaintedAt(dialog.dontUpgrade, 33, 11));
    // A default push button keeps the value and looks pressed until cleared.
    dialog.upgrade.SetCheck(1);
    EXPECT_EQ(1, dialog.upgrade.GetCheck());
    EXPECT_EQ(kFrameColors[2], PaintedAt(dialog.upgrade, 33, 11));
    dialog.upgrade.SetCheck(0);
    EXPECT_EQ(kFrameColors[0], PaintedAt(dialog.upgrade, 33, 11));
    dialog.check.SetCheck(2);
    EXPECT_EQ(2, dialog.check.GetCheck());
}

TEST_F(ButtonTest, RadioGroupMembersClearEachOther) {
    dialog.radioA.SetCheck(1);
    PumpMessages();
    dialog.radioB.SetCheck(1);
    EXPECT_EQ(1, dialog.radioA.GetCheck()) << "cleared only once the posted message arrives";
    PumpMessages();
    EXPECT_EQ(0, dialog.radioA.GetCheck());
    EXPECT_EQ(1, dialog.radioB.GetCheck());
    EXPECT_EQ(0, dialog.radioC.GetCheck());
    // Clearing posts nothing.
    dialog.radioC.SetCheck(0);
    PumpMessages();
    EXPECT_EQ(1, dialog.radioB.GetCheck());
    // Controls outside the group, or of another kind, keep their check.
    dialog.check.SetCheck(1);
    dialog.radioC.SetCheck(1);
    PumpMessages();
    EXPECT_EQ(0, dialog.radioB.GetCheck());
    EXPECT_EQ(1, dialog.check.GetCheck());
    SendMessageA(dialog.check, WM_CANCELCHECKEDRADIO, 0, 0);
    EXPECT_EQ(1, dialog.check.GetCheck());
}

TEST_F(ButtonTest, DisabledRadioButtonStillClearsItsGroup) {
    // The group walk skips disabled controls, so it never comes back to a
    // disabled starting button.
    dialog.radioB.SetCheck(1);
    PumpMessages();
    dialog.radioA.EnableWindow(FALSE);
    dialog.radioA.SetCheck(1);
    PumpMessages();
    EXPECT_EQ(0, dialog.radioB.GetCheck());
    EXPECT_EQ(1, dialog.radioA.GetCheck());
}

TEST_F(ButtonTest, ClickTogglesAutoCheckBoxBeforeTheParentHearsOfIt) {
    Press(dialog.check, 5, 5);
    Release(dialog.check, 5, 5);
    EXPECT_EQ(1, dialog.check.GetCheck());
    ASSERT_EQ(1, dialog.ClicksOf(IDC_CHECK));
    EXPECT_EQ(1, dialog.clicks.back().check);
    Press(dialog.check, 5, 5);
    Release(dialog.check, 5, 5);
    EXPECT_EQ(0, dialog.check.GetCheck());
    EXPECT_EQ(0, dialog.clicks.back().check);
    // Extra style bits in the low byte make another kind: no toggle.
    Press(dialog.checkLeftText, 5, 5);
    Release(dialog.checkLeftText, 5, 5);
    EXPECT_EQ(0, dialog.checkLeftText.GetCheck());
    EXPECT_EQ(1, dialog.ClicksOf(IDC_CHECK_LEFT_TEXT));
    // A radio button sets itself.
    Press(dialog.radioC, 5, 5);
    Release(dialog.radioC, 5, 5);
    EXPECT_EQ(1, dialog.radioC.GetCheck());
}

TEST_F(ButtonTest, SpaceTogglesOnEveryKeyDown) {
    dialog.check.SetFocus();
    for (int expected : {1, 0, 1}) {
        SendMessageA(dialog.check, WM_KEYDOWN, VK_SPACE, 0x40390001); // auto-repeat too
        EXPECT_EQ(expected, dialog.check.GetCheck());
    }
    SendMessageA(dialog.check, WM_KEYUP, VK_SPACE, 0xC0390001);
    SendMessageA(dialog.checkLeftText, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(0, dialog.checkLeftText.GetCheck());
    SendMessageA(dialog.radioB, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(1, dialog.radioB.GetCheck());
    SendMessageA(dialog.upgrade, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(0, dialog.upgrade.GetCheck());
    ReleaseCapture();
}

// ---- the mouse

TEST_F(ButtonTest, PressDragOffAndReleaseOutsideIsNoClick) {
    CSkinButtonEx& b = dialog.check;
    Press(b, 5, 5);
    EXPECT_EQ(b.GetSafeHwnd(), GetCapture());
    EXPECT_TRUE(b.GetState() & BST_PUSHED);
    // Off the button: the pushed look goes.
    PointerAt(b, 5, 200);
    SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 200));
    EXPECT_FALSE(b.GetState() & BST_PUSHED);
    // Back on: it returns.
    PointerAt(b, 6, 6);
    SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(6, 6));
    EXPECT_TRUE(b.GetState() & BST_PUSHED);
    PointerAt(b, 5, 200);
    SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 200));
    Release(b, 5, 200);
    EXPECT_EQ(0, dialog.ClicksOf(IDC_CHECK));
    EXPECT_EQ(0, b.GetCheck());
    EXPECT_NE(b.GetSafeHwnd(), GetCapture());
}

TEST_F(ButtonTest, PaintKeepsThePushedLookInStepWithThePointer) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    Press(b, 5, 5);
    EXPECT_EQ(kFrameColors[2], PaintedAt(b, 33, 11));
    // The pointer has left without a move message: the paint notices.
    PointerAt(b, 5, 200);
    EXPECT_EQ(RGB(255, 0, 255), PaintedAt(b, 33, 11)) << "nothing drawn while catching up";
    EXPECT_FALSE(b.GetState() & BST_PUSHED);
    Release(b, 5, 200);
}

TEST_F(ButtonTest, DoubleClickIsASecondPress) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    Press(b, 5, 5);
    Release(b, 5, 5);
    PointerAt(b, 5, 5);
    SendMessageA(b, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(b.GetState() & BST_PUSHED);
    Release(b, 5, 5);
    EXPECT_EQ(2, dialog.ClicksOf(IDC_DONT_UPGRADE));

    Press(dialog.check, 5, 5);
    Release(dialog.check, 5, 5);
    PointerAt(dialog.check, 5, 5);
    SendMessageA(dialog.check, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    Release(dialog.check, 5, 5);
    EXPECT_EQ(0, dialog.check.GetCheck()) << "toggled twice";
}

TEST_F(ButtonTest, LosingFocusWhilePressedReleasesTheMouse) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    Press(b, 5, 5);
    ASSERT_EQ(b.GetSafeHwnd(), GetCapture());
    dialog.finish.SetFocus();
    EXPECT_NE(b.GetSafeHwnd(), GetCapture());
    // With the mouse-down flag gone, a paint no longer follows the pointer.
    b.SetState(TRUE);
    PointerAt(b, 5, 200);
    EXPECT_EQ(kFrameColors[2], PaintedAt(b, 33, 11));
}

TEST_F(ButtonTest, HoverEndsWhenThePointerLeaves) {
    CSkinButtonEx& b = dialog.dontUpgrade;
    b.SetStripImageFile(stripPath.c_str(), 4, TRUE, FALSE);
    PointerAt(b, 10, 10);
    SendMessageA(b, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    PumpFor(50);
    EXPECT_EQ(kFrameColors[1], PaintedAt(b, 33, 11));
    // The platform's leave notification, from the real pointer moving away;
    // the platform looks at the pointer a few times a second.
    PointerAt(b, 10, 250);
    COLORREF shown = 0;
    for (int waited = 0; waited < 3000 && shown != kFrameColors[0]; waited += 50) {
        PumpFor(50);
        shown = PaintedAt(b, 33, 11);
    }
    EXPECT_EQ(kFrameColors[0], shown);
}

TEST_F(ButtonTest, EraseIsLeftToThePaint) {
    Canvas canvas(20, 20, RGB(1, 2, 3));
    EXPECT_EQ(TRUE, SendMessageA(dialog.upgrade, WM_ERASEBKGND,
                                 reinterpret_cast<WPARAM>(canvas.Dc()), 0));
    EXPECT_EQ(RGB(1, 2, 3), canvas.At(5, 5));
}

} // namespace
