#include "SkinTestIds.h"
#include "SkinTestSupport.h"
#include "skin/Hyperlink.h"
#include "skin/SkinDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A link whose shell call is recorded instead of made.
class TestLink : public CHyperlink {
public:
    std::vector<std::string> opened;

protected:
    void OpenLink(const CString& url) override { opened.push_back(url); }
};

class LinkDialog : public CSkinDialog {
public:
    LinkDialog() : CSkinDialog(IDD_SKIN_TEST) {}
    TestLink link;
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_LINK, link); }
};

const COLORREF kNormal = RGB(0, 0, 255), kHover = RGB(255, 0, 0), kPressed = RGB(0, 160, 0);

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCursorPos(10, 760);
        ASSERT_TRUE(dialog.Create(IDD_SKIN_TEST));
        SetWindowPos(dialog, HWND_TOP, 700, 420, 300, 320, 0);
        dialog.link.SetWindowPos(nullptr, 100, 200, 120, 20, SWP_NOZORDER);
        dialog.link.SetWindowText("iiiiiiii");
        dialog.link.SetLinkColors(kNormal, kHover, kPressed);
        dialog.link.SetLinkUrl("http://127.0.0.1/download");
        PumpMessages();
    }
    void TearDown() override {
        SetCursorPos(10, 760);
        PumpFor(20);
        dialog.DestroyWindow();
    }

    HWND Link() { return dialog.link.GetSafeHwnd(); }

    // The link drawn the platform's way (owner draw through the parent).
    struct Look {
        int normal = 0, hover = 0, pressed = 0;
        int longestRun = 0; // the longest row of ink
    };
    Look Drawn() {
        Canvas canvas(120, 20);
        SendMessageA(Link(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        Look look;
        for (int y = 0; y < 20; ++y) {
            int run = 0;
            for (int x = 0; x < 120; ++x) {
                COLORREF c = canvas.At(x, y);
                look.normal += Near(c, kNormal, 60);
                look.hover += Near(c, kHover, 60);
                look.pressed += Near(c, kPressed, 60);
                run = c != RGB(255, 255, 255) ? run + 1 : 0;
                look.longestRun = std::max(look.longestRun, run);
            }
        }
        return look;
    }
    void PointerAt(int x, int y) {
        POINT p{x, y};
        ClientToScreen(Link(), &p);
        SetCursorPos(p.x, p.y);
    }
    void Send(UINT message, WPARAM w, int x, int y) {
        PointerAt(x, y);
        SendMessageA(Link(), message, w, MAKELPARAM(x, y));
    }

    LinkDialog dialog;
};

TEST_F(LinkTest, SubclassingMakesItANotifyingOwnerDrawnStatic) {
    DWORD style = dialog.link.GetStyle();
    EXPECT_TRUE(style & SS_NOTIFY);
    EXPECT_EQ(static_cast<DWORD>(SS_OWNERDRAW), style & SS_TYPEMASK);
}

TEST_F(LinkTest, ColourFollowsHoverPressAndRelease) {
    Look look = Drawn();
    EXPECT_GT(look.normal, 5);
    EXPECT_EQ(0, look.hover);

    Send(WM_MOUSEMOVE, 0, 5, 5);
    look = Drawn();
    EXPECT_GT(look.hover, 5);
    EXPECT_EQ(0, look.normal);

    Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
    EXPECT_EQ(Link(), GetCapture());
    EXPECT_GT(Drawn().pressed, 5);
    // Dragged off while captured: still pressed.
    Send(WM_MOUSEMOVE, MK_LBUTTON, 5, 200);
    EXPECT_GT(Drawn().pressed, 5);
    Send(WM_LBUTTONUP, 0, 5, 200);
    EXPECT_NE(Link(), GetCapture());
    // Release does not touch the hover flag; leaving does.
    EXPECT_GT(Drawn().hover, 5);
    EXPECT_EQ(1, SendMessageA(Link(), WM_MOUSELEAVE, 0, 0));
    EXPECT_GT(Drawn().normal, 5);
}

TEST_F(LinkTest, OpensOnlyWhenReleasedOverTheLink) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 5, 200);
    Send(WM_LBUTTONUP, 0, 5, 200);
    EXPECT_TRUE(dialog.link.opened.empty());

    Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
    Send(WM_LBUTTONUP, 0, 6, 6);
    ASSERT_EQ(1u, dialog.link.opened.size());
    EXPECT_EQ("http://127.0.0.1/download", dialog.link.opened[0]);

    // A release over the link opens it whether or not the press began there.
    Send(WM_LBUTTONUP, 0, 6, 6);
    EXPECT_EQ(2u, dialog.link.opened.size());
}

TEST_F(LinkTest, UnderlineFlagsPickTheFonts) {
    dialog.link.SetLinkUnderline(FALSE, TRUE);
    int plain = Drawn().longestRun;
    EXPECT_LT(plain, 10) << "letters i have no long row of ink";
    Send(WM_MOUSEMOVE, 0, 5, 5);
    EXPECT_GT(Drawn().longestRun, 15) << "underlined under the pointer";
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
    EXPECT_GT(Drawn().longestRun, 15) << "and while pressed";
    Send(WM_LBUTTONUP, 0, 5, 5);
    dialog.link.SetLinkUnderline(FALSE, FALSE);
    EXPECT_LT(Drawn().longestRun, 10);
    dialog.link.SetLinkUnderline(TRUE, TRUE);
    SendMessageA(Link(), WM_MOUSELEAVE, 0, 0);
    EXPECT_GT(Drawn().longestRun, 15);
}

TEST_F(LinkTest, ShowsItsCursorOnlyWhenOneIsSet) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), hand = LoadCursorA(nullptr, IDC_HAND);
    SetCursor(hand);
    SendMessageA(Link(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Link()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(arrow, GetCursor()) << "the platform's cursor";
    dialog.link.SetLinkCursor(hand);
    SetCursor(arrow);
    EXPECT_EQ(TRUE, SendMessageA(Link(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Link()),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(hand, GetCursor());
}

TEST_F(LinkTest, RepaintAlsoRepaintsTheParentBeneath) {
    ValidateRect(dialog, nullptr);
    SendMessageA(Link(), WM_MOUSELEAVE, 0, 0);
    RECT update{};
    ASSERT_TRUE(GetUpdateRect(dialog, &update, FALSE));
    EXPECT_LE(update.left, 100);
    EXPECT_LE(update.top, 200);
    EXPECT_GE(update.right, 220);
    EXPECT_GE(update.bottom, 220);
}

TEST_F(LinkTest, TextIsCutAt511Characters) {
    // 511 narrow letters and then wide ones: only the narrow part is drawn.
    std::string text = std::string(511, 'i') + std::string(89, 'W');
    dialog.link.SetWindowText(text.c_str());
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(Link(), WM_GETFONT, 0, 0));
    Canvas canvas(4000, 20);
    SIZE narrow{};
    {
        SelectGuard select(canvas.Dc(), font);
        GetTextExtentPoint32A(canvas.Dc(), text.c_str(), 511, &narrow);
    }
    ASSERT_LT(narrow.cx, 3900);
    DRAWITEMSTRUCT record{};
    record.CtlType = ODT_STATIC;
    record.hwndItem = Link();
    record.hDC = canvas.Dc();
    record.rcItem = RECT{0, 0, 4000, 20};
    dialog.link.DrawItem(&record);
    int rightmost = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 4000; ++x)
            if (canvas.At(x, y) != RGB(255, 255, 255))
                rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, narrow.cx - 10);
    EXPECT_LE(rightmost, narrow.cx + 2);
}

TEST(LinkWithoutDialogFont, DrawsInTheSystemFont) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "link", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, parent,
                                 nullptr, nullptr, nullptr);
    CWnd parentWnd;
    parentWnd.SubclassWindow(parent);
    TestLink link;
    ASSERT_TRUE(link.SubclassWindow(child));
    link.SetLinkColors(RGB(0, 0, 0), RGB(0, 0, 0), RGB(0, 0, 0));
    link.SetLinkUnderline(TRUE, TRUE);
    Canvas canvas(100, 20);
    SendMessageA(child, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    int ink = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x)
            ink += canvas.At(x, y) != RGB(255, 255, 255);
    EXPECT_GT(ink, 10);
    DestroyWindow(parent);
}

} // namespace
