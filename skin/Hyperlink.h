// CHyperlink: a dialog's static text turned into a link. The text is drawn on
// a transparent background in a colour and font that follow the pointer
// (normal, hover, pressed), with the link's own cursor, and a left-button
// release over the link opens its address with the shell.
#pragma once

#include "framework/Controls.h"
#include "framework/Handles.h"

// Which colour and font the link is drawn in.
enum class LinkLook { Normal, Hover, Pressed };
inline LinkLook ChooseLinkLook(bool pressed, bool hover) {
    return pressed ? LinkLook::Pressed : hover ? LinkLook::Hover : LinkLook::Normal;
}

// The colour of a look that was never set.
constexpr COLORREF kUnsetLinkColor = 0xFFFFFFFF;

class CHyperlink : public CStatic {
public:
    CHyperlink() = default;
    ~CHyperlink() override = default;

    void SetLinkColors(COLORREF normal, COLORREF hoverColor, COLORREF pressed);
    // Rebuilds both fonts from the control's font with these underline flags
    // (the hover font serves the pressed look too), then repaints.
    void SetLinkUnderline(BOOL normalUnderline, BOOL hoverUnderline);
    // Shown over the link; not owned.
    void SetLinkCursor(HCURSOR linkCursor) { cursor = linkCursor; }
    void SetLinkUrl(const char* url) { address = url ? url : ""; }

    void PreSubclassWindow() override;
    void DrawItem(DRAWITEMSTRUCT* drawItem) override;

protected:
    // Opens the address; the shell's answer is not looked at.
    virtual void OpenLink(const CString& url);

private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnMouseLeave(WPARAM, LPARAM);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);

    void BuildFont(UniqueFont& slot, BOOL underline);
    void DrawLink(HDC dc, RECT rect);
    // Repaints the link and the parent's background under it.
    void RepaintLink();

    COLORREF normalColor = kUnsetLinkColor;
    COLORREF hoverColor = kUnsetLinkColor;
    COLORREF pressedColor = kUnsetLinkColor;
    int hover = 0;
    int pressed = 0;
    CString address;
    UniqueFont hoverFont;
    UniqueFont normalFont;
    HCURSOR cursor = nullptr;

    DECLARE_MESSAGE_MAP()
};
