// The printer-driver user interface as system code sees it (winddiui.h, compstui.h): the records the
// spooler and applications hand a driver's UI DLL and the property-sheet host's interface.
#pragma once

#include <platform/windows.h>
#include <platform/winspool.h>

#if defined(_WIN32)
#include <compstui.h>
#include <winddiui.h>
#include <winsplp.h>
#else
#include <platform/linux/winddiui.h>
#endif

// What mingw-w64's winddiui.h lacks, the same for both builds.
typedef struct _DOCUMENTPROPERTYHEADER
{
    WORD cbSize;
    WORD Reserved;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
    PDEVMODEW pdmIn;
    PDEVMODEW pdmOut;
    DWORD cbOut;
    DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;

typedef struct _DEVICEPROPERTYHEADER
{
    WORD cbSize;
    WORD Flags;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;

typedef struct _DEVQUERYPRINT_INFO
{
    WORD cbSize;
    WORD Level;
    HANDLE hPrinter;
    PDEVMODEW pDevMode;
    LPWSTR pszErrorStr;
    DWORD cchErrorStr;
    DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

#define DPS_NOPERMISSION 0x0001

// DrvConvertDevMode's modes.
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

// The print processor's layout flags.
#define BORDER_PRINT 0x00000000
#define NO_BORDER_PRINT 0x00000001
#define NORMAL_PRINT 0x00000000
#define REVERSE_PRINT 0x00000001
#define BOOKLET_PRINT 0x00000002

// The host's records as x64 lays them out; other builds use their own sizes.
static_assert(sizeof(void*) != 8 ||
                  (sizeof(OPTITEM) == 88 && sizeof(OPTTYPE) == 48 && sizeof(OPTPARAM) == 48 &&
                   sizeof(EXTCHKBOX) == 64 && sizeof(EXTPUSH) == 64 && sizeof(DLGPAGE) == 40 &&
                   sizeof(COMPROPSHEETUI) == 128),
              "the property-sheet host's records");
