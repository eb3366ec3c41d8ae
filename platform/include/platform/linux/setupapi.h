// Linux declarations: setupapi's device sets and interfaces, INF functions and the driver store. Written
// from the documented API; included by platform/setupapi.h.
#pragma once

#include <platform/linux/cfgmgr32.h>
#include <platform/windows.h>

typedef PVOID HDEVINFO;

// setupapi: device sets and device interfaces --------------------------------------------------------
#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

typedef struct _SP_DEVINFO_DATA
{
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA
{
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W
{
    DWORD cbSize;
    WCHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

#define SPINT_ACTIVE 0x00000001

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* interfaceClass,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
// ---- end of device sets and device interfaces -----------------------------------------------------

// setupapi: device sets of device nodes, their properties and removal ---------------------------------
typedef ULONG DEVPROPTYPE;
typedef DEVPROPTYPE* PDEVPROPTYPE;
typedef GUID DEVPROPGUID;
typedef ULONG DEVPROPID;

typedef struct _DEVPROPKEY
{
    DEVPROPGUID fmtid;
    DEVPROPID pid;
} DEVPROPKEY;

#define DEVPROP_TYPE_EMPTY 0x00000000
#define DEVPROP_TYPE_STRING 0x00000012
#define DEVPROP_TYPEMOD_LIST 0x00002000
#define DEVPROP_TYPE_STRING_LIST (DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST)

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_SERVICE 0x00000004
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_ENUMERATOR_NAME 0x00000016

typedef UINT DI_FUNCTION;
#define DIF_REMOVE 0x00000005

#define ERROR_NO_DRIVER_SELECTED 0xE0000203L
#define ERROR_INVALID_DEVINST_NAME 0xE0000205L
#define ERROR_NO_SUCH_DEVINST 0xE000020BL

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent);
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD flags,
                                   PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR buffer, DWORD bufferSize,
                                        PDWORD requiredSize);
BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA device, PSTR buffer, DWORD bufferSize,
                                        PDWORD requiredSize);
BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                              PDWORD requiredSize);
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                              PDWORD requiredSize);
BOOL WINAPI SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, const DEVPROPKEY* key,
                                      DEVPROPTYPE* propertyType, PBYTE buffer, DWORD bufferSize,
                                      PDWORD requiredSize, DWORD flags);
BOOL WINAPI SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device);
// ---- end of device sets of device nodes -------------------------------------------------------------

// setupapi: INF files and the driver store ------------------------------------------------------------
typedef PVOID HINF;
typedef UINT* PUINT;

typedef struct _INFCONTEXT
{
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
} INFCONTEXT, *PINFCONTEXT;

#define INF_STYLE_NONE 0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002

#define SUOI_FORCEDELETE 0x00000001

// Setup errors: the customer bit and the error severity over a small number.
#define ERROR_EXPECTED_SECTION_NAME 0xE0000000L
#define ERROR_BAD_SECTION_NAME_LINE 0xE0000001L
#define ERROR_SECTION_NAME_TOO_LONG 0xE0000002L
#define ERROR_GENERAL_SYNTAX 0xE0000003L
#define ERROR_WRONG_INF_STYLE 0xE0000100L
#define ERROR_SECTION_NOT_FOUND 0xE0000101L
#define ERROR_LINE_NOT_FOUND 0xE0000102L
#define ERROR_NO_BACKUP 0xE0000103L
#define ERROR_NOT_AN_INSTALLED_OEM_INF 0xE000023CL
#define ERROR_INF_IN_USE_BY_DEVICES 0xE000023DL

HINF WINAPI SetupOpenInfFileW(PCWSTR fileName, PCWSTR infClass, DWORD infStyle, PUINT errorLine);
void WINAPI SetupCloseInfFile(HINF inf);
BOOL WINAPI SetupFindFirstLineW(HINF inf, PCWSTR section, PCWSTR key, PINFCONTEXT context);
BOOL WINAPI SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut);
BOOL WINAPI SetupGetStringFieldW(PINFCONTEXT context, DWORD fieldIndex, PWSTR returnBuffer,
                                 DWORD returnBufferSize, PDWORD requiredSize);
BOOL WINAPI SetupGetInfDriverStoreLocationW(PCWSTR fileName, PVOID alternatePlatformInfo, PCWSTR localeName,
                                            PWSTR returnBuffer, DWORD returnBufferSize, PDWORD requiredSize);
BOOL WINAPI SetupUninstallOEMInfW(PCWSTR infFileName, DWORD flags, PVOID reserved);
BOOL WINAPI SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved);

// setupapi: making and registering device nodes, their registry keys, class-installer parameters ------
typedef PVOID HSPFILEQ;
typedef UINT(CALLBACK* PSP_FILE_CALLBACK_W)(PVOID context, UINT notification, UINT_PTR param1,
                                            UINT_PTR param2);
typedef UINT(CALLBACK* PSP_FILE_CALLBACK_A)(PVOID context, UINT notification, UINT_PTR param1,
                                            UINT_PTR param2);

#define DIF_REGISTERDEVICE 0x00000019

#define DICD_GENERATE_ID 0x00000001
#define DICD_INHERIT_CLASSDRVS 0x00000002

#define DICS_FLAG_GLOBAL 0x00000001
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002
#define DIREG_DEV 0x00000001
#define DIREG_DRV 0x00000002

#define DI_NEEDRESTART 0x00000080
#define DI_NEEDREBOOT 0x00000100

#define DI_REMOVEDEVICE_GLOBAL 0x00000001
#define DI_REMOVEDEVICE_CONFIGSPECIFIC 0x00000002

#define SPOST_NONE 0
#define SPOST_PATH 1
#define SPOST_URL 2
#define SP_COPY_REPLACEONLY 0x00000002
#define SP_COPY_NOOVERWRITE 0x00000008
#define SP_COPY_OEMINF_CATALOG_ONLY 0x00040000

#define ERROR_NO_ASSOCIATED_CLASS 0xE0000200L
#define ERROR_CLASS_MISMATCH 0xE0000201L
#define ERROR_KEY_DOES_NOT_EXIST 0xE0000204L
#define ERROR_INVALID_CLASS 0xE0000206L
#define ERROR_DEVINST_ALREADY_EXISTS 0xE0000207L
#define ERROR_DEVINFO_NOT_REGISTERED 0xE0000208L
#define ERROR_INVALID_REG_PROPERTY 0xE0000209L
#define ERROR_DI_DO_DEFAULT 0xE000020EL
#define ERROR_NO_CLASSINSTALL_PARAMS 0xE0000215L

typedef struct _SP_CLASSINSTALL_HEADER
{
    DWORD cbSize;
    DI_FUNCTION InstallFunction;
} SP_CLASSINSTALL_HEADER, *PSP_CLASSINSTALL_HEADER;

typedef struct _SP_REMOVEDEVICE_PARAMS
{
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    DWORD Scope;
    DWORD HwProfile;
} SP_REMOVEDEVICE_PARAMS, *PSP_REMOVEDEVICE_PARAMS;

typedef struct _SP_DEVINSTALL_PARAMS_W
{
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HWND hwndParent;
    PSP_FILE_CALLBACK_W InstallMsgHandler;
    PVOID InstallMsgHandlerContext;
    HSPFILEQ FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    WCHAR DriverPath[MAX_PATH];
} SP_DEVINSTALL_PARAMS_W, *PSP_DEVINSTALL_PARAMS_W;

typedef struct _SP_DEVINSTALL_PARAMS_A
{
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HWND hwndParent;
    PSP_FILE_CALLBACK_A InstallMsgHandler;
    PVOID InstallMsgHandlerContext;
    HSPFILEQ FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    CHAR DriverPath[MAX_PATH];
} SP_DEVINSTALL_PARAMS_A, *PSP_DEVINSTALL_PARAMS_A;

BOOL WINAPI SetupDiCreateDeviceInfoW(HDEVINFO set, PCWSTR deviceName, const GUID* classGuid,
                                     PCWSTR deviceDescription, HWND parent, DWORD creationFlags,
                                     PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO set, PCSTR deviceName, const GUID* classGuid,
                                     PCSTR deviceDescription, HWND parent, DWORD creationFlags,
                                     PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              const BYTE* buffer, DWORD bufferSize);
BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              const BYTE* buffer, DWORD bufferSize);
HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD hwProfile,
                                 DWORD keyType, REGSAM desiredAccess);
BOOL WINAPI SetupDiSetClassInstallParamsW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                          PSP_CLASSINSTALL_HEADER params, DWORD paramsSize);
BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                          PSP_CLASSINSTALL_HEADER params, DWORD paramsSize);
BOOL WINAPI SetupDiGetDeviceInstallParamsW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                           PSP_DEVINSTALL_PARAMS_W params);
BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                           PSP_DEVINSTALL_PARAMS_A params);
BOOL WINAPI SetupCopyOEMInfW(PCWSTR sourceInfFileName, PCWSTR oemSourceMediaLocation,
                             DWORD oemSourceMediaType, DWORD copyStyle, PWSTR destinationInfFileName,
                             DWORD destinationInfFileNameSize, PDWORD requiredSize,
                             PWSTR* destinationInfFileNameComponent);
BOOL WINAPI SetupCopyOEMInfA(PCSTR sourceInfFileName, PCSTR oemSourceMediaLocation, DWORD oemSourceMediaType,
                             DWORD copyStyle, PSTR destinationInfFileName, DWORD destinationInfFileNameSize,
                             PDWORD requiredSize, PSTR* destinationInfFileNameComponent);
// ---- end of making and registering device nodes ------------------------------------------------------
