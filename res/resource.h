// Resource identifiers of Updater.exe.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_UPDATER_DIALOG 102

// Icon.
#define IDR_MAINFRAME 128

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
