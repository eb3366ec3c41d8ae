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
