// The wide-area benchmark's baseline for a process start under Wine: a
// Windows program that ends at once.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
