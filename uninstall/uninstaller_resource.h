// Resource ids of the Uninstaller (the wizard's code names the same numbers).
#pragma once

#define IDI_UNINSTALLER 120
#define IDD_PROGRESS 101
#define IDD_FINISH 105
#define IDD_FRAME 144
#define IDD_RESTART 145
#define IDD_WELCOME 146
#define IDC_PROGRESS_BAR 1000
#define IDC_TITLE_TEXT 1006
#define IDC_TEXT_1 1009
#define IDC_TEXT_2 1010
#define IDC_BACK 1020
#define IDC_NEXT 1021
#define IDC_LINE_TOP 1022
#define IDC_LINE_BOTTOM 1023
#define IDC_PROGRESS_TEXT_0 1023
#define IDC_PROGRESS_TEXT_1 1024
#define IDC_STATUS 1025
#define IDC_RESTART_NOW 1026
#define IDC_RESTART_LATER 1027
#define IDC_WELCOME_0 1027
#define IDC_WELCOME_1 1028
#define IDC_WELCOME_2 1029
