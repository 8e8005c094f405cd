#include "MainWindow.h"

#include "UpdaterApp.h"

// The update dialog is not built yet: the window ends at once.
void RunMainWindow(CUpdaterApp&) {}
