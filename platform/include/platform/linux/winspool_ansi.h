// Linux declarations: the spooler's 8-bit forms, monitors and port deletion. Written from the
// documented API; included by platform/linux/winspool.h.
#pragma once

typedef struct _PRINTER_INFO_2A
{
    LPSTR pServerName;
    LPSTR pPrinterName;
    LPSTR pShareName;
    LPSTR pPortName;
    LPSTR pDriverName;
    LPSTR pComment;
    LPSTR pLocation;
    void* pDevMode; // DEVMODEA, not used through these forms
    LPSTR pSepFile;
    LPSTR pPrintProcessor;
    LPSTR pDatatype;
    LPSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
} PRINTER_INFO_2A, *PPRINTER_INFO_2A, *LPPRINTER_INFO_2A;

typedef struct _PRINTER_INFO_5A
{
    LPSTR pPrinterName;
    LPSTR pPortName;
    DWORD Attributes;
    DWORD DeviceNotSelectedTimeout;
    DWORD TransmissionRetryTimeout;
} PRINTER_INFO_5A, *PPRINTER_INFO_5A, *LPPRINTER_INFO_5A;

typedef struct _PRINTER_DEFAULTSA
{
    LPSTR pDatatype;
    void* pDevMode; // DEVMODEA, not used through these forms
    ACCESS_MASK DesiredAccess;
} PRINTER_DEFAULTSA, *PPRINTER_DEFAULTSA, *LPPRINTER_DEFAULTSA;

typedef struct _JOB_INFO_1A
{
    DWORD JobId;
    LPSTR pPrinterName;
    LPSTR pMachineName;
    LPSTR pUserName;
    LPSTR pDocument;
    LPSTR pDatatype;
    LPSTR pStatus;
    DWORD Status;
    DWORD Priority;
    DWORD Position;
    DWORD TotalPages;
    DWORD PagesPrinted;
    SYSTEMTIME Submitted;
} JOB_INFO_1A, *PJOB_INFO_1A, *LPJOB_INFO_1A;

typedef struct _MONITOR_INFO_1A
{
    LPSTR pName;
} MONITOR_INFO_1A, *PMONITOR_INFO_1A, *LPMONITOR_INFO_1A;

#define ERROR_UNKNOWN_PRINT_MONITOR 3000L
#define ERROR_PRINT_MONITOR_IN_USE 3008L

BOOL WINAPI OpenPrinterA(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults);
BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned);
BOOL WINAPI EnumJobsA(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned);
BOOL WINAPI SetPrinterA(HANDLE printer, DWORD level, LPBYTE printerInfo, DWORD command);
BOOL WINAPI EnumMonitorsA(LPSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned);
BOOL WINAPI DeletePortA(LPSTR serverName, HWND window, LPSTR portName);
BOOL WINAPI DeleteMonitorA(LPSTR serverName, LPSTR environment, LPSTR monitorName);
BOOL WINAPI DeletePrinterDriverA(LPSTR serverName, LPSTR environment, LPSTR driverName);
BOOL WINAPI DeletePrinterDriverExA(LPSTR serverName, LPSTR environment, LPSTR driverName, DWORD deleteFlags,
                                   DWORD version);
