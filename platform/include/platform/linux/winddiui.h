// Linux declarations: the property-sheet host's records and the driver UI's event codes. Written from
// the documented API; included by platform/winddiui.h.
#pragma once

typedef LONG_PTR(CALLBACK* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                                            LPARAM lParam2);

typedef struct _PROPSHEETUI_INFO
{
    WORD cbSize;
    WORD Version;
    WORD Flags;
    WORD Reason;
    HANDLE hComPropSheet;
    PFNCOMPROPSHEET pfnComPropSheet;
    LPARAM lParamInit;
    ULONG_PTR UserData;
    ULONG_PTR Result;
} PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;

#define PROPSHEETUI_REASON_INIT 0
#define PROPSHEETUI_REASON_GET_INFO_HEADER 1
#define PROPSHEETUI_REASON_DESTROY 2
#define PROPSHEETUI_REASON_SET_RESULT 3

typedef ULONG FLONG;

#define CPSUI_CANCEL 0
#define CPSUI_OK 1

#define DOCUMENTEVENT_UNSUPPORTED 0

// The spooler's printer events (DrvPrinterEvent).
#define PRINTER_EVENT_ADD_CONNECTION 1
#define PRINTER_EVENT_DELETE_CONNECTION 2
#define PRINTER_EVENT_INITIALIZE 3
#define PRINTER_EVENT_DELETE 4
#define PRINTER_EVENT_CACHE_REFRESH 5
#define PRINTER_EVENT_CACHE_DELETE 6
#define PRINTER_EVENT_ATTRIBUTES_CHANGED 7
#define PRINTER_EVENT_CONFIGURATION_UPDATE 8

// What DrvQueryJobAttributes tells the print processor, by level.
typedef struct _ATTRIBUTE_INFO_4
{
    DWORD dwJobNumberOfPagesPerSide;
    DWORD dwDrvNumberOfPagesPerSide;
    DWORD dwNupBorderFlags;
    DWORD dwJobPageOrderFlags;
    DWORD dwDrvPageOrderFlags;
    DWORD dwJobNumberOfCopies;
    DWORD dwDrvNumberOfCopies;
    DWORD dwColorOptimization;
    short dmPrintQuality;
    short dmYResolution;
    DWORD dwDuplexFlags;
    DWORD dwNupDirection;
    DWORD dwBookletFlags;
    DWORD dwScalingPercentX;
    DWORD dwScalingPercentY;
} ATTRIBUTE_INFO_4, *PATTRIBUTE_INFO_4;

// The common property-sheet host's records (compstui).
typedef LONG(CALLBACK* PFNPROPSHEETUI)(PPROPSHEETUI_INFO info, LPARAM lParam);

typedef struct _PROPSHEETUI_INFO_HEADER
{
    WORD cbSize;
    WORD Flags;
    LPWSTR pTitle;
    HWND hWndParent;
    HINSTANCE hInst;
    union {
        HICON hIcon;
        ULONG_PTR IconID;
    };
} PROPSHEETUI_INFO_HEADER, *PPROPSHEETUI_INFO_HEADER;

LONG WINAPI CommonPropertySheetUIW(HWND owner, PFNPROPSHEETUI function, LPARAM lParam, LPDWORD result);

typedef struct _SETRESULT_INFO
{
    WORD cbSize;
    WORD wReserved;
    HANDLE hSetResult;
    LRESULT Result;
} SETRESULT_INFO, *PSETRESULT_INFO;

typedef struct _OPTPARAM
{
    WORD cbSize;
    BYTE Flags;
    BYTE Style;
    LPWSTR pData;
    ULONG_PTR IconID;
    LPARAM lParam;
    ULONG_PTR dwReserved[2];
} OPTPARAM, *POPTPARAM;

typedef struct _OPTTYPE
{
    WORD cbSize;
    BYTE Type;
    BYTE Flags;
    WORD Count;
    WORD BegCtrlID;
    POPTPARAM pOptParam;
    WORD Style;
    WORD wReserved[3];
    ULONG_PTR dwReserved[3];
} OPTTYPE, *POPTTYPE;

typedef struct _EXTCHKBOX
{
    WORD cbSize;
    WORD Flags;
    LPWSTR pTitle;
    LPWSTR pSeparator;
    LPWSTR pCheckedName;
    ULONG_PTR IconID;
    WORD wReserved[4];
    ULONG_PTR dwReserved[2];
} EXTCHKBOX, *PEXTCHKBOX;

typedef struct _EXTPUSH
{
    WORD cbSize;
    WORD Flags;
    LPWSTR pTitle;
    union {
        DLGPROC DlgProc;
        FARPROC pfnCallBack;
    };
    ULONG_PTR IconID;
    union {
        WORD DlgTemplateID;
        HANDLE hDlgTemplate;
    };
    ULONG_PTR dwReserved[3];
} EXTPUSH, *PEXTPUSH;

typedef struct _OPTITEM
{
    WORD cbSize;
    BYTE Level;
    BYTE DlgPageIdx;
    DWORD Flags;
    ULONG_PTR UserData;
    LPWSTR pName;
    union {
        LONG Sel;
        LPWSTR pSel;
    };
    union {
        PEXTCHKBOX pExtChkBox;
        PEXTPUSH pExtPush;
    };
    POPTTYPE pOptType;
    DWORD HelpIndex;
    BYTE DMPubID;
    BYTE UserItemID;
    WORD wReserved;
    void* pOIExt;
    ULONG_PTR dwReserved[3];
} OPTITEM, *POPTITEM;

typedef struct _DLGPAGE
{
    WORD cbSize;
    WORD Flags;
    DLGPROC DlgProc;
    LPWSTR pTabName;
    ULONG_PTR IconID;
    union {
        WORD DlgTemplateID;
        HANDLE hDlgTemplate;
    };
} DLGPAGE, *PDLGPAGE;

typedef struct _COMPROPSHEETUI
{
    WORD cbSize;
    WORD Flags;
    HINSTANCE hInstCaller;
    LPWSTR pCallerName;
    ULONG_PTR UserData;
    LPWSTR pHelpFile;
    FARPROC pfnCallBack;
    POPTITEM pOptItem;
    PDLGPAGE pDlgPage;
    WORD cOptItem;
    WORD cDlgPage;
    ULONG_PTR IconID;
    LPWSTR pOptItemName;
    WORD CallerVersion;
    WORD OptItemVersion;
    ULONG_PTR dwReserved[4];
} COMPROPSHEETUI, *PCOMPROPSHEETUI;

#define CPSFUNC_ADD_HPROPSHEETPAGE 0
#define CPSFUNC_ADD_PCOMPROPSHEETUIW 3
#define CPSFUNC_SET_RESULT 9

#define PSUIHDRF_NOAPPLYNOW 0x0002
#define PSUIHDRF_PROPTITLE 0x0004

#define CPSUIF_UPDATE_PERMISSION 0x0001
#define OPTIF_CALLBACK 0x00000004
#define OPTIF_EXT_IS_EXTPUSH 0x00000400
#define TVOT_EDITBOX 7

#define IDS_CPSUI_PRINTER 64717
#define IDS_CPSUI_NONE 64734
#define IDI_CPSUI_PRINTER 64062
