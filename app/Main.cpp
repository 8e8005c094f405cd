#include "LibrarySearch.h"
#include "UpdaterApp.h"

CUpdaterApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library.
    RestrictLibrarySearch();
    return theApp.Run();
}
