// Resource ids of the desktop tests' dialog.
#define IDD_FORM 200
#define IDM_MAIN 300
#define IDM_OPEN 301
#define IDM_EXIT 302
#define IDI_APP 107
#define IDS_TITLE 100
#define IDS_QUOTED 101
#define IDS_ENGLISH_ONLY 102
#define IDC_NAME 1001
#define IDC_COUNT 1002
#define IDC_SPIN 1003
#define IDC_LOUD 1004
#define IDC_RED 1005
#define IDC_GREEN 1006
#define IDC_SIZE 1007
