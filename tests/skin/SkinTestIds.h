// Resource ids of the skin tests' own templates and data.
#pragma once

#define IDD_SKIN_TEST 200
#define IDD_SIZABLE 201
#define IDD_PLAIN 202

#define IDB_TEST_BITMAP 300
#define IDR_NOT_A_PNG 301

#define IDC_UPGRADE 1000
#define IDC_EXIT 1001
#define IDC_FINISH 1002
#define IDC_DONT_UPGRADE 1003
#define IDC_CLOSE 1004
#define IDC_FOOTER_BEFORE 1012
#define IDC_LINK 1013
#define IDC_RADIO_A 1020
#define IDC_RADIO_B 1021
#define IDC_RADIO_C 1022
#define IDC_CHECK 1030
#define IDC_CHECK_LEFT_TEXT 1031
#define IDC_PLAIN_RADIO 1032
#define IDC_GROUP_END 1033
#define IDC_NOTES 1040
#define IDC_NESTED 1050
