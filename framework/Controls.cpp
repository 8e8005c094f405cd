#include "Controls.h"

namespace {
struct StreamSource {
    const char* data;
    size_t remaining;
};

// The control converts each piece it is handed on its own, so a double-byte
// character split between two pieces would come out as two wrong ones: every
// piece ends on a character boundary.
DWORD CALLBACK ReadFromSource(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    size_t limit = size > 0 ? static_cast<size_t>(size) : 0;
    size_t n = WholeCharacterPrefix(std::string_view(source->data, source->remaining), limit);
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
