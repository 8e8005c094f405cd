// Resource identifiers of Updater.exe.
#pragma once

// The application icon (icon group) and the skin pictures (type "PNG").
#define IDR_MAINFRAME 128
#define IDB_CLOSE_DISABLED 129  // 33 x 21, grey translucent plate
#define IDB_CLOSE_PRESSED 130   // 33 x 21, dark red translucent plate
#define IDB_CLOSE_HOVER 131     // 33 x 21, bright red translucent plate
#define IDB_CLOSE_CROSS 132     // 33 x 21, white cross on transparent ground
#define IDB_DIALOG_FRAME 133    // 9 x 64, window frame with a 30-pixel title band
#define IDB_COMMAND_BUTTONS 134 // 264 x 23, four 66 x 23 button frames
#define IDB_EMBLEM 136          // 26 x 28, green cube
#define IDB_TITLE_STRIP 139     // 5 x 45, pale blue gradient, no alpha

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_UPDATER_DIALOG 102

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_UPDATE_FAILED 102
#define IDS_UPDATE_SUCCEEDED 103
#define IDS_CONFIRM_ABORT 105
#define IDS_UPGRADE_NOTICE 106
#define IDS_CANCEL 107
#define IDS_PROGRESS_FORMAT 108
#define IDS_UPDATING 109
#define IDS_PRODUCT_URL 110
#define IDS_OFFER 111

// Controls of the update dialog.
#define IDC_UPGRADE 1000
#define IDC_EXIT_SOFTWARE 1001
#define IDC_FINISH 1002
#define IDC_DONT_UPGRADE 1003
#define IDC_CLOSE_BUTTON 1004
#define IDC_CHANGE_LOG 1005
#define IDC_PROGRESS 1008
#define IDC_STATUS 1011
#define IDC_FOOTER_BEFORE 1012
#define IDC_DOWNLOAD_LINK 1013
#define IDC_FOOTER_AFTER 1014

// The system menu's About command.
#define IDM_ABOUTBOX 0x0010
