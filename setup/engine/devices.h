// Plug-and-play device nodes of the maker's printers: re-enumeration, removal of parallel and USB
// printer nodes, and lists of nodes by enumerator. Device properties come from outside: every reader
// here bounds what it takes, and a node it does not understand is left alone.
#pragma once

#include <platform/cfgmgr32.h>
#include <platform/setupapi.h>
#include <platform/windows.h>

#include <map>
#include <optional>
#include <span>
#include <vector>

namespace kgsetup
{

// Re-enumerates the tree from its root and waits for it; false when the root cannot be found or the
// enumeration fails.
bool ReenumerateDevices();

// Uninstalls every present parallel-port printer node whose instance id contains `text` (and the nodes
// below it): 0 when all went, else the last failure's error.
DWORD RemoveLptDevices(WStringView text);

// Uninstalls the USB devices under the maker's USB printers (vendor 0x155E, product in `productIds`),
// all of them or the one whose serial or port key is `key`. `flags` 0 takes non-present nodes too,
// DIGCF_PRESENT only present ones. S_OK when every uninstall succeeded, E_FAIL when one failed,
// HRESULT_FROM_WIN32 of the error when a device set could not be made.
HRESULT RemoveUsbPrinters(std::span<const WORD> productIds, WStringView key, DWORD flags = 0);

// Present nodes of an enumerator ("USBPRINT", "LPTENUM", ...), every class: their instance ids; the
// text after the last "&" of each id; or a registry property's text (SPDRP_*; of a list, its first
// entry) for nodes of `flags` (DIGCF_PRESENT or 0).
std::map<DEVINST, WString> DevicesByEnumerator(WStringView enumerator);
std::map<DEVINST, WString> GetDeviceInstances(WStringView enumerator);
std::map<DEVINST, WString> EnumDeviceProperty(WStringView enumerator, DWORD property, DWORD flags);

// A present printer node as a device search lists it; what the node does not tell is empty.
struct LocalPrinterNode
{
    WString instanceId;
    WString hardwareId; // the first
    WString busDescription;
    WString parentId;
};
// The present nodes of an enumerator, every class, in device-node order.
std::vector<LocalPrinterNode> LocalPrinterNodes(WStringView enumerator);

// Every hardware id of the nodes of an enumerator (every class, present or not).
std::vector<WString> HardwareIdsOf(WStringView enumerator);

// Parsers of device property bytes (UTF-16LE), bounded by the bytes given.
// A string property: the units before the first zero, or all of them when none ends it.
WString PropertyText(std::span<const BYTE> bytes);
// A list property: its non-empty entries, up to the empty one that ends it or the end of the bytes.
std::vector<WString> PropertyList(std::span<const BYTE> bytes);

struct UsbDeviceIdentity
{
    WORD vendorId = 0;
    WORD productId = 0;
    WString serial; // upper-cased, as the id is read
};
// A USB device's instance id ("USB\VID_155E&PID_0004\A1B2C3"): its numbers (1 to 4 hexadecimal
// digits after "VID_" and "PID_") and the non-empty serial after the last "\"; none otherwise.
std::optional<UsbDeviceIdentity> ParseUsbInstanceId(WStringView instanceId);
// The non-empty text after the last "&" of an instance id ("USB001"); none otherwise.
std::optional<WString> PortKeyOf(WStringView instanceId);

} // namespace kgsetup
