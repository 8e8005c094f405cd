// The framework's window layer with real windows: message maps, Default(),
// subclassing through DDX_Control, owner-draw reflection, and the modal loop.
#include "ScriptedDialog.h"
#include "SkinTestIds.h"
#include "SkinTestSupport.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const UINT kRegistered = RegisterWindowMessageA("SkinTests.Registered");

class BaseWnd : public CWnd {
public:
    std::string log;
    LRESULT OnFirst(WPARAM w, LPARAM) {
        log += "base-first;";
        return 10 + static_cast<LRESULT>(w);
    }
    LRESULT OnSecond(WPARAM, LPARAM) {
        log += "base-second;";
        return 20;
    }
    LRESULT OnClick(WPARAM, LPARAM) {
        log += "click;";
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
ON_MESSAGE(WM_APP + 1, OnFirst)
ON_MESSAGE(WM_APP + 2, OnSecond)
ON_BN_CLICKED(7, OnClick)
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd {
public:
    LRESULT OnSecond(WPARAM, LPARAM) {
        log += "derived-second;";
        return 21;
    }
    LRESULT OnRegistered(WPARAM, LPARAM) {
        log += "registered;";
        return 30;
    }
    // Sends itself another message first, then lets the platform set the text.
    LRESULT OnSetText(WPARAM, LPARAM) {
        SendMessage(WM_APP + 1, 5);
        LRESULT result = Default();
        log += "settext;";
        return result;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
ON_MESSAGE(WM_APP + 2, OnSecond)
ON_REGISTERED_MESSAGE(kRegistered, OnRegistered)
ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()

HWND MakeStatic(const char* text = "before") {
    return CreateWindowExA(0, "STATIC", text, WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr,
                           nullptr);
}

TEST(MessageMap, DerivedEntriesWinAndTheChainReachesTheBase) {
    HWND window = MakeStatic();
    DerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(window));
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(window));
    EXPECT_EQ(13, SendMessageA(window, WM_APP + 1, 3, 0));
    EXPECT_EQ(21, SendMessageA(window, WM_APP + 2, 0, 0));
    EXPECT_EQ(30, SendMessageA(window, kRegistered, 0, 0));
    EXPECT_EQ("base-first;derived-second;registered;", wnd.log);
    // Anything else goes to the window's own procedure.
    char text[32] = {};
    EXPECT_EQ(6, SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ("before", text);
    DestroyWindow(window);
    EXPECT_EQ(nullptr, wnd.GetSafeHwnd()) << "the object lets go of a destroyed window";
}

TEST(MessageMap, CommandEntriesMatchIdAndNotificationCode) {
    HWND window = MakeStatic();
    DerivedWnd wnd;
    wnd.SubclassWindow(window);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED), 0);
    EXPECT_EQ("", wnd.log);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);
    EXPECT_EQ("click;", wnd.log);
    DestroyWindow(window);
}

TEST(MessageMap, DefaultInsideAHandlerProcessesThatHandlersMessage) {
    HWND window = MakeStatic();
    DerivedWnd wnd;
    wnd.SubclassWindow(window);
    EXPECT_TRUE(SetWindowTextA(window, "after"));
    EXPECT_EQ("base-first;settext;", wnd.log);
    EXPECT_EQ("after", wnd.GetWindowText());
    DestroyWindow(window);
}

TEST(MessageMap, ObjectDestroyedBeforeItsWindowGivesTheProcedureBack) {
    HWND window = MakeStatic();
    {
        DerivedWnd wnd;
        wnd.SubclassWindow(window);
        EXPECT_EQ(13, SendMessageA(window, WM_APP + 1, 3, 0));
    }
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(window));
    EXPECT_EQ(0, SendMessageA(window, WM_APP + 1, 3, 0));
    EXPECT_TRUE(SetWindowTextA(window, "still works"));
    DestroyWindow(window);
}

TEST(MessageMap, AWindowIsSubclassedOnce) {
    HWND window = MakeStatic();
    DerivedWnd first, second;
    EXPECT_TRUE(first.SubclassWindow(window));
    EXPECT_FALSE(second.SubclassWindow(window));
    EXPECT_FALSE(first.SubclassWindow(MakeStatic()));
    EXPECT_FALSE(second.SubclassWindow(nullptr));
    EXPECT_EQ(&first, CWnd::FromHandlePermanent(window));
    DestroyWindow(window);
}

// ---- dialogs with bound controls

class OwnerDrawnButton : public CButton {
public:
    int draws = 0;
    void PreSubclassWindow() override { ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW); }
    void DrawItem(DRAWITEMSTRUCT* d) override {
        ++draws;
        UniqueBrush red(CreateSolidBrush(RGB(255, 0, 0)));
        FillRect(d->hDC, &d->rcItem, red.Get());
    }
};

class BoundDialog : public CDialog {
public:
    BoundDialog() : CDialog(IDD_PLAIN) {}
    CButton ok;
    OwnerDrawnButton nested;
    int exchanges = 0;
    void DoDataExchange(CDataExchange* dx) override {
        ++exchanges;
        DDX_Control(dx, IDOK, ok);
        DDX_Control(dx, IDC_NESTED, nested);
    }
};

TEST(DialogControls, DataExchangeSubclassesTheControlsOnce) {
    BoundDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_PLAIN));
    EXPECT_EQ(1, dialog.exchanges);
    EXPECT_EQ(GetDlgItem(dialog, IDOK), dialog.ok.GetSafeHwnd());
    EXPECT_EQ(&dialog.ok, CWnd::FromHandlePermanent(GetDlgItem(dialog, IDOK)));
    CDataExchange again(&dialog);
    dialog.DoDataExchange(&again);
    EXPECT_EQ(&dialog.ok, CWnd::FromHandlePermanent(GetDlgItem(dialog, IDOK)));
    // The wrappers forward to the control.
    dialog.ok.SetState(TRUE);
    EXPECT_TRUE(dialog.ok.GetState() & BST_PUSHED);
    EXPECT_FALSE(dialog.Create(IDD_PLAIN)) << "one window per object";
}

TEST(DialogControls, OwnerDrawIsReflectedToTheControl) {
    BoundDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_PLAIN));
    Canvas canvas(60, 30);
    SendMessageA(dialog.nested, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    EXPECT_GE(dialog.nested.draws, 1);
    EXPECT_EQ(RGB(255, 0, 0), canvas.At(3, 3));

    // A menu's owner-draw record names a menu, not a window: it is not reflected
    // even when the handle's value happens to be a control's.
    int draws = dialog.nested.draws;
    DRAWITEMSTRUCT menuItem{};
    menuItem.CtlType = ODT_MENU;
    menuItem.hwndItem = dialog.nested.GetSafeHwnd();
    menuItem.hDC = canvas.Dc();
    SendMessageA(dialog, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menuItem));
    EXPECT_EQ(draws, dialog.nested.draws);
}

class OwnDrawItemDialog : public BoundDialog {
public:
    int own = 0;
    LRESULT OnDrawItem(WPARAM, LPARAM) {
        ++own;
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OwnDrawItemDialog, BoundDialog)
ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
END_MESSAGE_MAP()

TEST(DialogControls, AParentsOwnDrawItemEntryComesFirst) {
    OwnDrawItemDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_PLAIN));
    int before = dialog.nested.draws;
    Canvas canvas(60, 30);
    SendMessageA(dialog.nested, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    EXPECT_GE(dialog.own, 1);
    EXPECT_EQ(before, dialog.nested.draws);
}

// ---- the modal loop

using TestDialog = Scripted<CDialog>;

TEST(ModalLoop, EndDialogGivesItsResultAndDestroysTheWindow) {
    TestDialog dialog(IDD_PLAIN);
    HWND window = nullptr;
    dialog.onInit = [&](TestDialog& d) {
        window = d.GetSafeHwnd();
        d.Post(1);
    };
    dialog.onApp = [](TestDialog& d, WPARAM) { d.EndDialog(42); };
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
    // The object can run again.
    EXPECT_EQ(42, dialog.DoModal());
}

TEST(ModalLoop, EndDialogDuringInitialisationEndsAtOnce) {
    TestDialog dialog(IDD_PLAIN);
    dialog.onInit = [](TestDialog& d) { d.EndDialog(9); };
    EXPECT_EQ(9, dialog.DoModal());
}

TEST(ModalLoop, MissingTemplateGivesMinusOne) {
    TestDialog dialog(4321);
    EXPECT_EQ(-1, dialog.DoModal());
}

TEST(ModalLoop, KeysAreOfferedToPreTranslateMessageFirst) {
    TestDialog dialog(IDD_PLAIN);
    dialog.onInit = [](TestDialog& d) {
        PostMessageA(GetDlgItem(d, IDC_NOTES), WM_KEYDOWN, 'A', 0x001E0001);
        PostMessageA(GetDlgItem(d, IDC_NOTES), WM_CHAR, 'a', 0x001E0001);
        d.Post(1);
    };
    dialog.onApp = [](TestDialog& d, WPARAM) { d.EndDialog(1); };
    EXPECT_EQ(1, dialog.DoModal());
    ASSERT_EQ(1u, dialog.keysOffered.size());
    EXPECT_EQ(static_cast<WPARAM>('A'), dialog.keysOffered[0]);
}

TEST(ModalLoop, EscEnterAndCloseEndAPlainDialog) {
    struct Case {
        const char* what;
        std::function<void(TestDialog&)> act;
        INT_PTR result;
    } cases[] = {
        {"Esc on a button",
         [](TestDialog& d) { PostMessageA(GetDlgItem(d, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 1); },
         IDCANCEL},
        {"Esc in a multi-line edit",
         [](TestDialog& d) { PostMessageA(GetDlgItem(d, IDC_NOTES), WM_KEYDOWN, VK_ESCAPE, 1); },
         IDCANCEL},
        {"Enter on a button",
         [](TestDialog& d) { PostMessageA(GetDlgItem(d, IDC_NESTED), WM_KEYDOWN, VK_RETURN, 1); },
         IDOK},
        {"WM_CLOSE", [](TestDialog& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        TestDialog dialog(IDD_PLAIN);
        dialog.onInit = [&](TestDialog& d) {
            c.act(d);
            d.Post(1);
        };
        // Reached only when the key did not end the dialog. The step re-posts
        // itself a few times so that what the key posted is handled first.
        dialog.onApp = [](TestDialog& d, WPARAM step) {
            if (step < 5)
                d.Post(step + 1);
            else
                d.EndDialog(77);
        };
        EXPECT_EQ(c.result, dialog.DoModal()) << c.what;
    }
}

TEST(ModalLoop, NestedDialogDisablesItsOwnerUntilItEnds) {
    TestDialog outer(IDD_PLAIN);
    BOOL ownerEnabledInside = TRUE;
    outer.onInit = [](TestDialog& d) { d.Post(1); };
    outer.onApp = [&](TestDialog& o, WPARAM) {
        TestDialog inner(IDD_PLAIN, &o);
        inner.onInit = [&](TestDialog& i) {
            EXPECT_EQ(o.GetSafeHwnd(), GetWindow(i, GW_OWNER));
            i.Post(1);
        };
        inner.onApp = [&](TestDialog& i, WPARAM) {
            ownerEnabledInside = IsWindowEnabled(o);
            i.EndDialog(7);
        };
        INT_PTR innerResult = inner.DoModal();
        EXPECT_TRUE(IsWindowEnabled(o));
        o.EndDialog(100 + static_cast<int>(innerResult));
    };
    EXPECT_EQ(107, outer.DoModal());
    EXPECT_FALSE(ownerEnabledInside);
}

TEST(ModalLoop, QuitMessageEndsTheLoopAndIsPostedAgain) {
    TestDialog dialog(IDD_PLAIN);
    dialog.onInit = [](TestDialog&) { PostQuitMessage(3); };
    EXPECT_EQ(-1, dialog.DoModal());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, msg.wParam);
}

} // namespace
