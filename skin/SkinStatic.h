// CSkinStatic: a text static for a skinned dialog. It paints its text over a
// copy of the dialog background beneath it, in one blit, so a new text never
// lands on top of the old one and nothing flickers between the two. A new
// window text is shown at once.
#pragma once

#include "ParentArea.h"
#include "framework/Controls.h"
#include "framework/DC.h"
#include "framework/Handles.h"

class CSkinStatic : public CStatic {
public:
    // Copies the part of the parent's freshly painted client area in `dc`
    // that lies under the static; its text is drawn over that copy. The
    // generation is as for CSkinButtonEx::CaptureBackground.
    void CaptureBackground(CDC* dc, unsigned generation = 0);
    // Draws the background copy and the text into `dc` at the client's origin.
    void PaintTo(HDC dc);

private:
    LRESULT OnSetText(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnPrintClient(WPARAM, LPARAM);
    LRESULT OnWindowPosChanged(WPARAM, LPARAM);

    // Without a copy yet, the parent paints its background for the static.
    void CaptureFromParent();
    void SnapshotFrom(HDC parentDc);
    void DrawText(HDC dc, const RECT& client);

    ParentAreaCopy background;

    DECLARE_MESSAGE_MAP()
};
