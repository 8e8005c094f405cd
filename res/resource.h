// Resource identifiers of Updater.exe.
#pragma once

// The application icon (icon group) and the skin pictures (type "PNG").
#define IDR_MAINFRAME 128
#define IDB_CLOSE_DISABLED 129   // 33 x 21, grey translucent plate
#define IDB_CLOSE_PRESSED 130    // 33 x 21, dark red translucent plate
#define IDB_CLOSE_HOVER 131      // 33 x 21, bright red translucent plate
#define IDB_CLOSE_CROSS 132      // 33 x 21, white cross on transparent ground
#define IDB_DIALOG_FRAME 133     // 9 x 64, window frame with a 30-pixel title band
#define IDB_COMMAND_BUTTONS 134  // 264 x 23, four 66 x 23 button frames
#define IDB_EMBLEM 136           // 26 x 28, green cube
#define IDB_TITLE_STRIP 139      // 5 x 45, pale blue gradient, no alpha
