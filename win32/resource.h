// Resource and control ids of the Windows program (kinetra.rc and the dialog code).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDD_ASKTEXT 103
#define IDR_MAINFRAME 128

#define IDC_DISABLE1 1025
#define IDC_DISABLE2 1026
#define IDC_DISABLE3 1027
#define IDC_DISABLE4 1028
#define IDC_DISABLE5 1029
#define IDC_WEB_LINK 1033
#define IDC_LEVEL1 1034
#define IDC_LEVEL2 1035
#define IDC_LEVEL3 1036
#define IDC_LEVEL4 1037
#define IDC_LEVEL5 1038
#define IDC_STRENGTH 1039
#define IDC_LOCKED 1041
#define IDC_TEST 1042
#define IDC_HELP_BUTTON 1043
// The rows below the documented area: the status line's three parts.
#define IDC_STATUS_INPUT 1050
#define IDC_STATUS_DEVICE 1051
#define IDC_STATUS_HINT 1052
// The status line's warning: its icon and its text (shown while there is a problem).
#define IDC_STATUS_PROBLEM_ICON 1053
#define IDC_STATUS_PROBLEM 1054
// The bands' captions under the Disable boxes (band 1..5).
#define IDC_BAND_CAPTION1 1070
// The text box of the preset-name dialog.
#define IDC_ASK_LABEL 1060
#define IDC_ASK_TEXT 1061

#define IDM_ABOUTBOX 0x0010
