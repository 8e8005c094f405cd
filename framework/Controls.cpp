#include "Controls.h"

namespace {
struct StreamSource {
    const char* data;
    size_t remaining;
};

// How many of the `room` bytes at `text` end on a character boundary, for text
// in the process's code page that starts on one.
size_t WholeCharacters(const char* text, size_t room) {
    size_t i = 0;
    while (i < room) {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
        if (i + step > room)
            break;
        i += step;
    }
    return i;
}

// The control converts each piece to Unicode on its own, so a piece never ends
// inside a double-byte character: split between two pieces, it would come out
// as two wrong characters (and take the next one with it).
DWORD CALLBACK ReadFromSource(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    size_t n = source->remaining < static_cast<size_t>(size) ? source->remaining
                                                             : static_cast<size_t>(size);
    if (n < source->remaining && n > 1)
        n = WholeCharacters(source->data, n);
    memcpy(buffer, source->data, n);
    source->data += n;
    source->remaining -= n;
    *read = static_cast<LONG>(n);
    return 0;
}
} // namespace

void CRichEditCtrl::SetPlainText(const char* text, size_t length) {
    // Lift the control's default limit (32 K characters) so a long text is shown whole.
    SendMessage(EM_EXLIMITTEXT, 0,
                static_cast<LPARAM>(length + 1 > 0x7FFFFFFE ? 0x7FFFFFFE : length + 1));
    StreamSource source{text, length};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = &ReadFromSource;
    SendMessage(EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}
