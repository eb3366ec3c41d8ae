// Linux declarations: the configuration manager's device nodes. Written from the documented API;
// included by platform/cfgmgr32.h.
#pragma once

#include <platform/windows.h>

typedef DWORD DEVINST;
typedef DEVINST* PDEVINST;
typedef DWORD CONFIGRET;
typedef WCHAR* DEVINSTID_W;

#define MAX_DEVICE_ID_LEN 200

#define CR_SUCCESS 0x00000000
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_FAILURE 0x00000013
#define CR_BUFFER_SMALL 0x0000001A
#define CR_ACCESS_DENIED 0x00000033

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001

#define CM_REENUMERATE_NORMAL 0x00000000
#define CM_REENUMERATE_SYNCHRONOUS 0x00000001

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags);
CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags);
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags);
CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST devInst, ULONG flags);
CONFIGRET WINAPI CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags);
CONFIGRET WINAPI CM_Get_Sibling(PDEVINST sibling, DEVINST devInst, ULONG flags);
DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD milliseconds);
