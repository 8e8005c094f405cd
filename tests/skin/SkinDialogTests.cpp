#include "ScriptedDialog.h"
#include "SkinTestIds.h"
#include "SkinTestSupport.h"
#include "res/resource.h"
#include "skin/SkinDialog.h"
#include "skin/WindowShape.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A skinned dialog whose lists can be looked at, which records the system
// move and size requests instead of running them, and what its overlay hook
// was given.
class TestSkinDialog : public CSkinDialog {
public:
    explicit TestSkinDialog(UINT id = IDD_SKIN_TEST) : CSkinDialog(id) {}
    using CSkinDialog::backdrops;
    using CSkinDialog::captionHeight;
    using CSkinDialog::frames;
    using CSkinDialog::images;
    using CSkinDialog::resizable;
    using CSkinDialog::texts;

    std::vector<WPARAM> systemPresses;
    int overlays = 0;
    HDC overlayDc = nullptr;
    COLORREF overlaySaw = CLR_INVALID;

    void DrawOverlay(CDC* dc) override {
        ++overlays;
        overlayDc = dc->GetSafeHdc();
        overlaySaw = GetPixel(overlayDc, 150, 15);
        UniqueBrush marker(CreateSolidBrush(RGB(255, 0, 255)));
        RECT r{100, 100, 102, 102};
        FillRect(overlayDc, &r, marker.Get());
    }

    LRESULT OnNcLButtonDown(WPARAM w, LPARAM) {
        systemPresses.push_back(w);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestSkinDialog, CSkinDialog)
ON_MESSAGE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
END_MESSAGE_MAP()

// ---- setters

SkinText TextAt(float x, float y, const char* s) {
    SkinText t;
    t.x = x;
    t.y = y;
    t.text = s;
    return t;
}

TEST(SkinDialogSetters, TextsAreKeyedByTheirExactPosition) {
    TestSkinDialog d;
    d.SetSkinText(TextAt(8, 39, "first"));
    d.SetSkinText(TextAt(8, 39, "second"));
    ASSERT_EQ(1u, d.texts.size());
    EXPECT_EQ("second", d.texts[0].text);
    d.SetSkinText(TextAt(8, 39.5f, "third"));
    d.SetSkinText(TextAt(9, 39, "fourth"));
    ASSERT_EQ(3u, d.texts.size());
    EXPECT_EQ("third", d.texts[1].text);
}

TEST(SkinDialogSetters, TextAtBuildsATopLeftTextInA300By30Box) {
    TestSkinDialog d;
    d.SetSkinTextAt("title", "font", 0xFFFFF7EE, 28, 8, 10.0f, TRUE);
    d.SetSkinTextAt("plain", "font", 0xFF000000, 8, 60, 9.0f, FALSE);
    ASSERT_EQ(2u, d.texts.size());
    const SkinText& t = d.texts[0];
    EXPECT_EQ("title", t.text);
    EXPECT_EQ("font", t.fontName);
    EXPECT_EQ(0xFFFFF7EEu, t.textColor);
    EXPECT_FLOAT_EQ(10, t.fontSize);
    EXPECT_EQ(1, t.fontStyle);
    EXPECT_EQ(0, d.texts[1].fontStyle);
    EXPECT_FLOAT_EQ(0, t.outlineWidth);
    EXPECT_EQ(0xFF000000u, t.outlineColor);
    EXPECT_EQ(0, t.shadow);
    EXPECT_FLOAT_EQ(28, t.x);
    EXPECT_FLOAT_EQ(8, t.y);
    EXPECT_FLOAT_EQ(300, t.width);
    EXPECT_FLOAT_EQ(30, t.height);
    EXPECT_EQ(AlignTop | AlignLeft, t.align);
}

TEST(SkinDialogSetters, BackdropFileTakesTheResourceEntrysPlace) {
    TestSkinDialog d;
    const RECT none{0, 0, 0, 0};
    d.SetBackdropImage(133, "PNG", 30, 1, none);
    d.SetBackdropImageFile("C:\\skin\\PopupBoxBk.png", 30, 1, none);
    ASSERT_EQ(1u, d.backdrops.size());
    EXPECT_EQ(133, d.backdrops[0].resourceId);
    EXPECT_EQ("PNG", d.backdrops[0].resourceType);
    EXPECT_EQ("C:\\skin\\PopupBoxBk.png", d.backdrops[0].filePath);
    EXPECT_EQ(0, d.backdrops[0].fromResource);
    // The resource again: drawn from the resource, the file kept.
    d.SetBackdropImage(134, "PNG", 30, 1, none);
    ASSERT_EQ(1u, d.backdrops.size());
    EXPECT_EQ(134, d.backdrops[0].resourceId);
    EXPECT_EQ(1, d.backdrops[0].fromResource);
    EXPECT_EQ("C:\\skin\\PopupBoxBk.png", d.backdrops[0].filePath);
    // Any part of the key that differs makes a new entry.
    d.SetBackdropImage(133, "PNG", 31, 1, none);
    d.SetBackdropImage(133, "PNG", 30, 0, none);
    d.SetBackdropImageFile("x.png", 30, 1, RECT{0, 0, 0, 1});
    ASSERT_EQ(4u, d.backdrops.size());
    EXPECT_EQ(0, d.backdrops[3].resourceId);
    EXPECT_EQ("", d.backdrops[3].resourceType);
    EXPECT_EQ(0, d.backdrops[3].fromResource);
}

TEST(SkinDialogSetters, ImagesAreKeyedByRectangleAndEdgeFlags) {
    TestSkinDialog d;
    d.SetImage(139, "PNG", RECT{2, 30, -3, 0}, 0, 0);
    d.SetImageAt(136, "PNG", 5, 0);
    d.SetImageFile("strip.png", RECT{2, 30, -3, 0}, 0, 0);
    d.SetImageFile("icon.png", RECT{5, 0, 0, 0}, 0, 1);
    ASSERT_EQ(3u, d.images.size());
    EXPECT_EQ(139, d.images[0].resourceId);
    EXPECT_EQ("strip.png", d.images[0].filePath);
    EXPECT_EQ(0, d.images[0].fromResource);
    EXPECT_TRUE(SameRect(RECT{5, 0, 0, 0}, d.images[1].rect));
    EXPECT_EQ(1, d.images[1].fromResource);
    EXPECT_EQ("", d.images[1].filePath);
    EXPECT_EQ(1, d.images[2].toBottomEdge);
    EXPECT_EQ(0, d.images[2].resourceId);
    // SetImageAt is SetImage with a zero far edge.
    d.SetImage(140, "PNG", RECT{5, 0, 0, 0}, 0, 0);
    EXPECT_EQ(140, d.images[1].resourceId);
    EXPECT_EQ(3u, d.images.size());
}

// ---- the window

class SkinWindowTest : public ::testing::Test {
protected:
    void Open(TestSkinDialog& d, int w = 300, int h = 320) {
        ASSERT_TRUE(d.Create(d.GetSafeHwnd() ? 0 : templateId));
        SetWindowPos(d, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
        PumpMessages();
    }
    void Paint(TestSkinDialog& d, Canvas& canvas) {
        EXPECT_EQ(TRUE, SendMessageA(d, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0));
    }
    void BuiltInLook(TestSkinDialog& d) {
        d.SetRoundCorners(7, 7, 5, 5);
        d.SetSkinTextAt("\xC9\xFD\xBC\xB6\xCC\xE1\xCA\xBE", "\xCB\xCE\xCC\xE5", 0xFFFFF7EE, 28, 8,
                        10, TRUE);
        SkinText offer = TextAt(8, 39, "WWWWWWWWWWWW");
        offer.fontName = "\xCB\xCE\xCC\xE5";
        offer.height = 15;
        d.SetSkinText(offer);
        d.SetCaptionHeight(30);
        d.SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
        d.SetImage(IDB_TITLE_STRIP, "PNG", RECT{2, 30, -3, 0}, 0, 0);
        d.SetImageAt(IDB_EMBLEM, "PNG", 5, 0);
    }
    UINT templateId = IDD_SKIN_TEST;
};

TEST_F(SkinWindowTest, CaptionGoesAndTheWholeWindowIsClientArea) {
    TestSkinDialog d;
    Open(d);
    EXPECT_EQ(0u, d.GetStyle() & WS_CAPTION);
    RECT window, client;
    GetWindowRect(d, &window);
    GetClientRect(d, &client);
    EXPECT_EQ(300, window.right - window.left);
    EXPECT_EQ(320, window.bottom - window.top);
    EXPECT_EQ(300, client.right);
    EXPECT_EQ(320, client.bottom);
    EXPECT_FALSE(d.resizable);
    EXPECT_EQ(TRUE, SendMessageA(d, WM_NCACTIVATE, FALSE, 0));

    TestSkinDialog sizable(IDD_SIZABLE);
    ASSERT_TRUE(sizable.Create(IDD_SIZABLE));
    EXPECT_TRUE(sizable.resizable);
}

TEST_F(SkinWindowTest, PaintDrawsTheLayersInOrderAndTheOverlayLast) {
    TestSkinDialog d;
    BuiltInLook(d);
    Open(d);
    Canvas canvas(300, 320, RGB(1, 2, 3));
    d.overlays = 0; // the system may have had it paint already
    Paint(d, canvas);
    COLORREF band = canvas.At(150, 4);
    EXPECT_GT(Blue(band), 150) << ColorText(band);
    EXPECT_LT(Red(band), 100);
    // The strip under the band (an image, over the backdrop's band ends).
    COLORREF strip = canvas.At(150, 31);
    EXPECT_GT(Blue(strip), Red(strip));
    EXPECT_GT(Red(strip), 150);
    // The emblem over the band, green.
    COLORREF emblem = canvas.At(18, 16);
    EXPECT_GT(Green(emblem), Red(emblem) + 40) << ColorText(emblem);
    // The white ground shows in the untouched middle.
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(150, 250));
    // Light title text in the band; dark offer text over the strip.
    int light = 0, dark = 0;
    for (int y = 8; y < 26; ++y)
        for (int x = 28; x < 110; ++x)
            light += Red(canvas.At(x, y)) > 200;
    for (int y = 39; y < 54; ++y)
        for (int x = 8; x < 150; ++x)
            dark += Red(canvas.At(x, y)) < 100;
    EXPECT_GT(light, 30);
    EXPECT_GT(dark, 30);
    // The overlay hook ran once, on the memory context, after the background.
    EXPECT_EQ(1, d.overlays);
    EXPECT_NE(canvas.Dc(), d.overlayDc);
    EXPECT_EQ(canvas.At(150, 15), d.overlaySaw);
    EXPECT_EQ(RGB(255, 0, 255), canvas.At(100, 100));
}

TEST_F(SkinWindowTest, EraseWithoutADeviceContextPaintsNothingAndSaysDone) {
    TestSkinDialog d;
    BuiltInLook(d);
    Open(d);
    d.overlays = 0;
    EXPECT_EQ(TRUE, SendMessageA(d, WM_ERASEBKGND, 0, 0));
    EXPECT_EQ(0, d.overlays);
}

TEST_F(SkinWindowTest, FitClientBackdropFollowsEveryResize) {
    TestSkinDialog d;
    d.SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
    Open(d, 200, 150);
    Canvas canvas(200, 150);
    Paint(d, canvas);
    EXPECT_TRUE(SameRect(RECT{0, 0, 200, 150}, d.backdrops[0].rect));
    EXPECT_LT(Red(canvas.At(100, 149)), 60) << "bottom border on the last row";
    EXPECT_LT(Red(canvas.At(199, 100)), 60) << "right border on the last column";
    SetWindowPos(d, nullptr, 0, 0, 250, 180, SWP_NOMOVE | SWP_NOZORDER);
    Canvas bigger(250, 180);
    Paint(d, bigger);
    EXPECT_LT(Red(bigger.At(125, 179)), 60);
    EXPECT_EQ(RGB(255, 255, 255), bigger.At(125, 140)) << "the middle reaches further down";
}

// Pictures are decoded once per window life: a file that goes away while the
// window lives keeps being drawn; a window made afterwards draws the resource.
TEST_F(SkinWindowTest, BackdropDrawsItsFileWhenItExistsAndTheResourceOtherwise) {
    TempFolder folder;
    std::string path = folder.Path("PopupBoxBk.png");
    ASSERT_TRUE(WritePng(path, 9, 64, [](int, int) { return 0xFF00FF00u; }));
    TestSkinDialog d;
    d.SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
    d.SetBackdropImageFile(path.c_str(), 30, 1, RECT{});
    ASSERT_EQ(1u, d.backdrops.size());
    Open(d);
    Canvas canvas(300, 320);
    Paint(d, canvas);
    EXPECT_EQ(RGB(0, 255, 0), canvas.At(150, 15));
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    Paint(d, canvas);
    EXPECT_EQ(RGB(0, 255, 0), canvas.At(150, 15)) << "decoded again at a later paint";
    ASSERT_TRUE(d.DestroyWindow());
    Open(d);
    Paint(d, canvas);
    EXPECT_GT(Blue(canvas.At(150, 15)), 150);
    EXPECT_LT(Green(canvas.At(150, 15)), 200);
    // A file that does not decode is drawn as if it were missing.
    CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(d.DestroyWindow());
    Open(d);
    Canvas damaged(300, 320);
    Paint(d, damaged);
    EXPECT_EQ(canvas.At(150, 15), damaged.At(150, 15));
    EXPECT_EQ(canvas.At(150, 200), damaged.At(150, 200));
}

// The background is composed once and then copied, so each setter must make
// the next paint show what it changed.
TEST_F(SkinWindowTest, AChangedTextShowsAtTheNextPaint) {
    TestSkinDialog d;
    BuiltInLook(d);
    Open(d);
    auto darkInMiddle = [this, &d]() {
        Canvas canvas(300, 320);
        Paint(d, canvas);
        int dark = 0;
        for (int y = 240; y < 262; ++y)
            for (int x = 8; x < 150; ++x)
                dark += Red(canvas.At(x, y)) < 100;
        return dark;
    };
    EXPECT_EQ(0, darkInMiddle());
    d.SetSkinTextAt("WWWWWWWW", "\xCB\xCE\xCC\xE5", 0xFF000000, 8, 240, 12.0f, TRUE);
    EXPECT_GT(darkInMiddle(), 30);
    d.SetSkinTextAt("", "\xCB\xCE\xCC\xE5", 0xFF000000, 8, 240, 12.0f, TRUE);
    EXPECT_EQ(0, darkInMiddle());
}

TEST_F(SkinWindowTest, FramesAreNestedRoundedRectangles) {
    TestSkinDialog d;
    SkinFrame frame;
    frame.colors = {RGB(255, 0, 0), RGB(0, 0, 255)};
    frame.fitClient = 1;
    d.frames.push_back(frame);
    Open(d, 100, 80);
    Canvas canvas(100, 80);
    Paint(d, canvas);
    EXPECT_EQ(RGB(255, 0, 0), canvas.At(50, 0));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(50, 1));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(50, 40));
    EXPECT_EQ(RGB(255, 0, 0), canvas.At(99, 40));
}

TEST_F(SkinWindowTest, DragBandIsRowsZeroToCaptionHeight) {
    TestSkinDialog d;
    d.SetCaptionHeight(30);
    Open(d);
    for (int y : {0, 15, 30}) {
        d.systemPresses.clear();
        SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, y));
        PumpMessages();
        ASSERT_EQ(1u, d.systemPresses.size()) << y;
        EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), d.systemPresses[0]);
    }
    for (int y : {31, 200}) {
        d.systemPresses.clear();
        SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, y));
        PumpMessages();
        EXPECT_TRUE(d.systemPresses.empty()) << y;
    }
    d.SetCaptionHeight(0);
    d.systemPresses.clear();
    SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 0));
    PumpMessages();
    EXPECT_TRUE(d.systemPresses.empty());
}

TEST(EdgeHitTest, SevenPixelEdgesCornersFirst) {
    struct Case {
        int x, y, hit;
    } cases[] = {
        {3, 3, HTTOPLEFT},
        {296, 3, HTTOPRIGHT},
        {3, 296, HTBOTTOMLEFT},
        {296, 296, HTBOTTOMRIGHT},
        {3, 100, HTLEFT},
        {294, 100, HTRIGHT},
        {100, 6, HTTOP},
        {100, 294, HTBOTTOM},
        {7, 100, 0},
        {293, 100, 0},
        {100, 7, 0},
        {100, 293, 0},
        {150, 150, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.hit, EdgeHitTest(c.x, c.y, 300, 300).hitCode) << c.x << "," << c.y;
    EXPECT_EQ(IDC_SIZENWSE, EdgeHitTest(3, 3, 300, 300).cursor);
    EXPECT_EQ(IDC_SIZENESW, EdgeHitTest(296, 3, 300, 300).cursor);
    EXPECT_EQ(IDC_SIZEWE, EdgeHitTest(3, 100, 300, 300).cursor);
    EXPECT_EQ(IDC_SIZENS, EdgeHitTest(100, 296, 300, 300).cursor);
}

TEST_F(SkinWindowTest, SizingBorderStartsSystemSizingFromTheEdges) {
    templateId = IDD_SIZABLE;
    TestSkinDialog d(IDD_SIZABLE);
    Open(d, 300, 300);
    struct Case {
        int x, y;
        WPARAM hit;
    } cases[] = {{3, 3, HTTOPLEFT}, {3, 100, HTLEFT}, {296, 296, HTBOTTOMRIGHT}};
    for (const Case& c : cases) {
        d.systemPresses.clear();
        SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, c.y));
        ASSERT_EQ(1u, d.systemPresses.size());
        EXPECT_EQ(c.hit, d.systemPresses[0]);
    }
    d.systemPresses.clear();
    SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 150));
    EXPECT_TRUE(d.systemPresses.empty());

    // A move without buttons shows the sizing cursor; with the left button
    // held it is the platform's move.
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(LoadCursorA(nullptr, IDC_SIZENWSE), GetCursor());
    SetCursor(arrow);
    SendMessageA(d, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(arrow, GetCursor());
}

TEST_F(SkinWindowTest, WithoutSizingBorderEdgesAreOrdinary) {
    TestSkinDialog d;
    Open(d);
    SendMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 100));
    PumpMessages();
    EXPECT_TRUE(d.systemPresses.empty());
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(arrow, GetCursor());
}

TEST_F(SkinWindowTest, DoubleClickInTheBandMaximizesAndRestores) {
    templateId = IDD_SIZABLE;
    TestSkinDialog d(IDD_SIZABLE);
    d.SetCaptionHeight(30);
    Open(d, 300, 300);
    SendMessageA(d, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 30));
    EXPECT_TRUE(IsZoomed(d));
    SendMessageA(d, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 10));
    EXPECT_FALSE(IsZoomed(d));
    SendMessageA(d, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 31));
    EXPECT_FALSE(IsZoomed(d));
    d.SetCaptionHeight(0);
    SendMessageA(d, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 0));
    EXPECT_FALSE(IsZoomed(d));
}

TEST_F(SkinWindowTest, DoubleClickWithoutMaximizeBoxDoesNothing) {
    TestSkinDialog d;
    d.SetCaptionHeight(30);
    Open(d);
    SendMessageA(d, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 10));
    EXPECT_FALSE(IsZoomed(d));
}

TEST_F(SkinWindowTest, MaximizedSizeCoversTheScreenAndFrame) {
    TestSkinDialog d;
    Open(d);
    MINMAXINFO info{};
    SendMessageA(d, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXFULLSCREEN), info.ptMaxSize.x);
    EXPECT_EQ(GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYFULLSCREEN) +
                  GetSystemMetrics(SM_CYCAPTION),
              info.ptMaxSize.y);
}

// ---- the outline

TEST(CornerCuts, SquaresAndEllipsesOfEachCorner) {
    auto cuts = CornerCuts(300, 320, 7, 7, 5, 5);
    ASSERT_EQ(4u, cuts.size());
    auto expect = [](const RECT& r, int l, int t, int rr, int b) {
        EXPECT_TRUE(SameRect(RECT{l, t, rr, b}, r))
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    };
    expect(cuts[0].square, 0, 0, 3, 3);
    expect(cuts[0].ellipse, 0, 0, 7, 7);
    expect(cuts[1].square, 297, 0, 300, 3);
    expect(cuts[1].ellipse, 294, 0, 301, 7);
    expect(cuts[2].square, 0, 318, 2, 320);
    expect(cuts[2].ellipse, 0, 315, 5, 320);
    expect(cuts[3].square, 298, 318, 300, 320);
    expect(cuts[3].ellipse, 296, 315, 301, 320);
    EXPECT_TRUE(CornerCuts(300, 320, 0, 0, 0, 0).empty());
    EXPECT_TRUE(CornerCuts(300, 320, -4, 0, 0, 0).empty());
    EXPECT_EQ(1u, CornerCuts(300, 320, 0, 0, 0, 1).size());
}

TEST_F(SkinWindowTest, WindowRegionHasTheRoundedCorners) {
    TestSkinDialog d;
    d.SetRoundCorners(7, 7, 5, 5);
    Open(d);
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(COMPLEXREGION, GetWindowRgn(d, region.Get()));
    HRGN r = region.Get();
    // The corner pixels are cut away...
    EXPECT_FALSE(PtInRegion(r, 0, 0));
    EXPECT_FALSE(PtInRegion(r, 299, 0));
    EXPECT_FALSE(PtInRegion(r, 0, 319));
    EXPECT_FALSE(PtInRegion(r, 299, 319));
    // ... the ellipses give part of the squares back ...
    EXPECT_TRUE(PtInRegion(r, 2, 2));
    EXPECT_TRUE(PtInRegion(r, 297, 2));
    // ... and everything outside the squares stays.
    for (POINT p : {POINT{3, 0}, POINT{0, 3}, POINT{296, 0}, POINT{299, 3}, POINT{2, 319},
                    POINT{0, 317}, POINT{297, 319}, POINT{299, 317}, POINT{150, 160}})
        EXPECT_TRUE(PtInRegion(r, p.x, p.y)) << p.x << "," << p.y;
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_TRUE(SameRect(RECT{0, 0, 300, 320}, box));
}

TEST_F(SkinWindowTest, DiameterOneOrZeroLeavesTheCornerSquare) {
    TestSkinDialog d;
    d.SetRoundCorners(1, 0, 1, 7);
    Open(d);
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    GetWindowRgn(d, region.Get());
    EXPECT_TRUE(PtInRegion(region.Get(), 0, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 299, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 0, 319));
    EXPECT_FALSE(PtInRegion(region.Get(), 299, 319));
}

// ---- keys

using ModalSkinDialog = Scripted<TestSkinDialog>;

TEST(SkinDialogKeys, EscDoesNotCloseItFromTheDialogOrAnyControl) {
    ModalSkinDialog d;
    d.onInit = [](ModalSkinDialog& m) {
        PostMessageA(m, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(GetDlgItem(m, IDC_UPGRADE), WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(GetDlgItem(m, IDC_NOTES), WM_KEYDOWN, VK_ESCAPE, 1);
        m.Post(1);
    };
    d.onApp = [](ModalSkinDialog& m, WPARAM step) {
        if (step < 5)
            m.Post(step + 1);
        else
            m.EndDialog(55);
    };
    EXPECT_EQ(55, d.DoModal());
    EXPECT_EQ(3u, d.keysOffered.size());
}

TEST(SkinDialogKeys, CloseStillEndsIt) {
    ModalSkinDialog d;
    d.onInit = [](ModalSkinDialog& m) {
        m.PostMessage(WM_CLOSE);
        m.Post(1);
    };
    d.onApp = [](ModalSkinDialog& m, WPARAM step) {
        if (step < 5)
            m.Post(step + 1);
        else
            m.EndDialog(55);
    };
    EXPECT_EQ(IDCANCEL, d.DoModal());
}

} // namespace
