// Linux declarations: winspool records and functions. Written from the documented API; included by
// platform/winspool.h.
#pragma once

typedef void* PSECURITY_DESCRIPTOR;

typedef struct _PRINTER_INFO_2W
{
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    LPDEVMODEW pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
} PRINTER_INFO_2W, *PPRINTER_INFO_2W;

typedef struct _PRINTER_INFO_4W
{
    LPWSTR pPrinterName;
    LPWSTR pServerName;
    DWORD Attributes;
} PRINTER_INFO_4W, *PPRINTER_INFO_4W;

typedef struct _PRINTER_INFO_5W
{
    LPWSTR pPrinterName;
    LPWSTR pPortName;
    DWORD Attributes;
    DWORD DeviceNotSelectedTimeout;
    DWORD TransmissionRetryTimeout;
} PRINTER_INFO_5W, *PPRINTER_INFO_5W;

typedef struct _DRIVER_INFO_2W
{
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
} DRIVER_INFO_2W, *PDRIVER_INFO_2W;

#define PRINTER_ATTRIBUTE_QUEUED 0x00000001
#define PRINTER_ATTRIBUTE_DIRECT 0x00000002
#define PRINTER_ATTRIBUTE_DEFAULT 0x00000004
#define PRINTER_ATTRIBUTE_SHARED 0x00000008
#define PRINTER_ATTRIBUTE_NETWORK 0x00000010
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040

#define SERVER_ACCESS_ADMINISTER 0x00000001
#define PRINTER_ACCESS_ADMINISTER 0x00000004
#define PRINTER_ACCESS_USE 0x00000008
#define PRINTER_ALL_ACCESS 0x000F000C

typedef struct _PRINTER_DEFAULTSW
{
    LPWSTR pDatatype;
    LPDEVMODEW pDevMode;
    ACCESS_MASK DesiredAccess;
} PRINTER_DEFAULTSW, *PPRINTER_DEFAULTSW, *LPPRINTER_DEFAULTSW;

typedef struct _DOC_INFO_1W
{
    LPWSTR pDocName;
    LPWSTR pOutputFile;
    LPWSTR pDatatype;
} DOC_INFO_1W, *PDOC_INFO_1W, *LPDOC_INFO_1W;

BOOL WINAPI OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL WINAPI ClosePrinter(HANDLE printer);
BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL WINAPI GetPrinterDriverW(HANDLE printer, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                              LPDWORD needed);
DWORD WINAPI GetPrinterDataW(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                             LPDWORD needed);
DWORD WINAPI GetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, LPDWORD type, LPBYTE data,
                               DWORD size, LPDWORD needed);
DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size);
DWORD WINAPI SetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, DWORD type, LPBYTE data,
                               DWORD size);
BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR serverName, LPWSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed);
DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written);
BOOL WINAPI EndDocPrinter(HANDLE printer);
BOOL WINAPI StartPagePrinter(HANDLE printer);
BOOL WINAPI EndPagePrinter(HANDLE printer);
BOOL WINAPI AbortPrinter(HANDLE printer);

// Enumerations, drivers and packages, jobs, ports -------------------------------------------------
typedef ULONG* PULONG;

#define PRINTER_ATTRIBUTE_WORK_OFFLINE 0x00000400
#define PRINTER_ATTRIBUTE_ENABLE_BIDI 0x00000800

#define PRINTER_ENUM_DEFAULT 0x00000001
#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004

#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#define UPDP_CHECK_DRIVERSTORE 0x00000004
#define IPDFP_COPY_ALL_FILES 0x00000001

#define PORT_TYPE_WRITE 0x0001
#define PORT_TYPE_READ 0x0002

#define ERROR_UNKNOWN_PORT 1796L
#define ERROR_UNKNOWN_PRINTER_DRIVER 1797L
#define ERROR_UNKNOWN_PRINTPROCESSOR 1798L
#define ERROR_PRINTER_ALREADY_EXISTS 1802L
#define ERROR_PRINTER_DRIVER_IN_USE 3001L

typedef struct _DRIVER_INFO_8W
{
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
    LPWSTR pszzPreviousNames;
    FILETIME ftDriverDate;
    DWORDLONG dwlDriverVersion;
    LPWSTR pszMfgName;
    LPWSTR pszOEMUrl;
    LPWSTR pszHardwareID;
    LPWSTR pszProvider;
    LPWSTR pszPrintProcessor;
    LPWSTR pszVendorSetup;
    LPWSTR pszzColorProfiles;
    LPWSTR pszInfPath;
    DWORD dwPrinterDriverAttributes;
    LPWSTR pszzCoreDriverDependencies;
    FILETIME ftMinInboxDriverVerDate;
    DWORDLONG dwlMinInboxDriverVerVersion;
} DRIVER_INFO_8W, *PDRIVER_INFO_8W;

typedef struct _JOB_INFO_2W
{
    DWORD JobId;
    LPWSTR pPrinterName;
    LPWSTR pMachineName;
    LPWSTR pUserName;
    LPWSTR pDocument;
    LPWSTR pNotifyName;
    LPWSTR pDatatype;
    LPWSTR pPrintProcessor;
    LPWSTR pParameters;
    LPWSTR pDriverName;
    LPDEVMODEW pDevMode;
    LPWSTR pStatus;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Status;
    DWORD Priority;
    DWORD Position;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD TotalPages;
    DWORD Size;
    SYSTEMTIME Submitted;
    DWORD Time;
    DWORD PagesPrinted;
} JOB_INFO_2W, *PJOB_INFO_2W;

typedef struct _PORT_INFO_1W
{
    LPWSTR pName;
} PORT_INFO_1W, *PPORT_INFO_1W;

typedef struct _PORT_INFO_2W
{
    LPWSTR pPortName;
    LPWSTR pMonitorName;
    LPWSTR pDescription;
    DWORD fPortType;
    DWORD Reserved;
} PORT_INFO_2W, *PPORT_INFO_2W;

typedef struct _PRINTER_OPTIONSW
{
    UINT cbSize;
    DWORD dwFlags;
} PRINTER_OPTIONSW, *PPRINTER_OPTIONSW;

BOOL WINAPI OpenPrinter2W(LPCWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults,
                          PPRINTER_OPTIONSW options);
HANDLE WINAPI AddPrinterW(LPWSTR serverName, DWORD level, LPBYTE printer);
// The printer's settings record: its size with mode 0, IDOK after DM_OUT_BUFFER filled `out`; a
// negative value on failure.
LONG WINAPI DocumentPropertiesW(HWND window, HANDLE printer, LPWSTR deviceName, PDEVMODEW out, PDEVMODEW in,
                                DWORD mode);
BOOL WINAPI DeletePrinter(HANDLE printer);
BOOL WINAPI SetPrinterW(HANDLE printer, DWORD level, LPBYTE printerInfo, DWORD command);
BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned);
BOOL WINAPI EnumPrinterDriversW(LPWSTR serverName, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed, LPDWORD returned);
BOOL WINAPI EnumJobsW(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned);
BOOL WINAPI EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                       LPDWORD returned);
BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR serverName, LPWSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed);
HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags,
                                           HWND window, LPWSTR destInfPath, PULONG destInfPathSize);
HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName,
                                                LPCWSTR environment, DWORD flags);

// Removal: a driver no printer uses, a print processor, a port monitor; a job cancelled.
#define JOB_CONTROL_PAUSE 1
#define JOB_CONTROL_RESUME 2
#define JOB_CONTROL_CANCEL 3
#define JOB_CONTROL_RESTART 4
#define JOB_CONTROL_DELETE 5
#define DPD_DELETE_UNUSED_FILES 0x00000001
#define DPD_DELETE_SPECIFIC_VERSION 0x00000002
#define DPD_DELETE_ALL_FILES 0x00000004
BOOL WINAPI DeletePrinterDriverW(LPWSTR serverName, LPWSTR environment, LPWSTR driverName);
BOOL WINAPI DeletePrinterDriverExW(LPWSTR serverName, LPWSTR environment, LPWSTR driverName, DWORD deleteFlags,
                                   DWORD version);
BOOL WINAPI DeletePortW(LPWSTR serverName, HWND window, LPWSTR portName);
BOOL WINAPI DeletePrintProcessorW(LPWSTR serverName, LPWSTR environment, LPWSTR processorName);
BOOL WINAPI DeleteMonitorW(LPWSTR serverName, LPWSTR environment, LPWSTR monitorName);
BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
#include <platform/linux/winspool_ansi.h>
