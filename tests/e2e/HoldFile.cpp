// Holds a file open: HoldFile PATH MILLISECONDS [read].
// Without "read" nobody else may open the file; with it others may read it but
// not write, rename or remove it (as with a module a running program uses).
// Prints "held" once the file is open; exits 1 when it cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    DWORD share = argc > 3 && std::strcmp(argv[3], "read") == 0 ? FILE_SHARE_READ : 0;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atol(argv[2])));
    CloseHandle(file);
    return 0;
}
