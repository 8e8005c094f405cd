// Another program on the desktop, as the end-to-end suites need one: it posts
// window messages to the update dialog with whatever parameters it is given,
// as any program of the session can, and looks at its buttons.
//
//   ForeignPost post HWND MESSAGE WPARAM LPARAM [MESSAGE WPARAM LPARAM]...
//       Posts each message in turn (numbers decimal or 0x hexadecimal), then
//       sends WM_NULL a few times more than it posted: the window's thread
//       answers sent messages each time it goes for the next posted one, so
//       when the last is answered the posted messages have been dispatched.
//       Then prints what "visible HWND 1002" prints of the Finish button. Exit
//       code 0, or 1 when a post failed or the window stopped answering.
//   ForeignPost visible HWND ID
//       Prints "visible 1" when control ID of the window is visible, "visible 0"
//       when it is not, and "gone" when the window no longer exists.
//   ForeignPost answer HWND ID
//       Presses button ID of the message box the window has open (a visible
//       dialog owned by it), as its user would; ID 0 only looks. Prints
//       "answered" (or "box") or "no box"; exit code 0 or 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kFinish = 1002;

unsigned long long Number(const char* text) {
    return std::strtoull(text, nullptr, 0);
}

HWND Window(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(Number(text)));
}

int Visible(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (!IsWindow(window))
        std::printf("gone\n");
    else
        std::printf("visible %d\n", control && IsWindowVisible(control) ? 1 : 0);
    return 0;
}

int Post(HWND window, int count, char** triples) {
    for (int i = 0; i < count; ++i)
        if (!PostMessageA(window, static_cast<UINT>(Number(triples[3 * i])),
                          static_cast<WPARAM>(Number(triples[3 * i + 1])),
                          static_cast<LPARAM>(Number(triples[3 * i + 2]))))
            return 1;
    for (int i = 0; i < count + 3; ++i) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
            Visible(window, kFinish);
            return 1;
        }
    }
    return Visible(window, kFinish);
}

BOOL CALLBACK OwnedBox(HWND candidate, LPARAM found) {
    HWND* box = reinterpret_cast<HWND*>(found);
    char className[16] = "";
    GetClassNameA(candidate, className, sizeof className);
    if (GetWindow(candidate, GW_OWNER) != *box || !IsWindowVisible(candidate) ||
        std::string(className) != "#32770")
        return TRUE;
    *box = candidate;
    return FALSE;
}

int Answer(HWND window, int id) {
    HWND box = window;
    EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), OwnedBox,
                      reinterpret_cast<LPARAM>(&box));
    if (box == window || (id && !PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0))) {
        std::printf("no box\n");
        return 1;
    }
    std::printf(id ? "answered\n" : "box\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "post" && argc >= 6 && (argc - 3) % 3 == 0)
        return Post(Window(argv[2]), (argc - 3) / 3, argv + 3);
    if (command == "visible" && argc >= 4)
        return Visible(Window(argv[2]), std::atoi(argv[3]));
    if (command == "answer" && argc >= 4)
        return Answer(Window(argv[2]), std::atoi(argv[3]));
    std::fprintf(stderr, "usage: ForeignPost post HWND MESSAGE WPARAM LPARAM [...] | "
                         "visible HWND ID | answer HWND ID\n");
    return 2;
}
