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

#define PRINTER_EVENT_INITIALIZE 6

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
