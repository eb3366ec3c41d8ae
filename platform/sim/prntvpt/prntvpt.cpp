// "prntvpt.dll": print ticket providers over the machine's printers, found by ordinal (1 schema
// version, 2 open, 4 close, 8 ticket to DEVMODE, 9 DEVMODE to ticket) or by name.
#include "core/faults.h"
#include "core/internal.h"
#include "kernel32/loader.h"
#include "winspool/spooler_internal.h"

#include <platform/objbase.h>
#include <sim/print_tickets.h>

#include <cstring>
#include <mutex>
#include <set>

namespace sim
{
namespace
{
constexpr DWORD kMarker = 0x31465450; // "PTF1"
constexpr WORD kPrivateBytes = 8;
constexpr size_t kPublicBytes = sizeof(DEVMODEW);

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<psf:PrintTicket xmlns:psf=\"urn:sim:printschemaframework\" "
    "xmlns:psk=\"urn:sim:printschemakeywords\" xmlns:ns0000=\"urn:sim:velmo\" version=\"1\">";
const std::string kCopies =
    "<psf:ParameterInit name=\"psk:JobCopiesAllDocuments\"><psf:Value>1</psf:Value></psf:ParameterInit>";
const std::string kTail = "</psf:PrintTicket>";

DWORD ReadDword(std::span<const BYTE> bytes, size_t at)
{
    return static_cast<DWORD>(bytes[at]) | static_cast<DWORD>(bytes[at + 1]) << 8 |
           static_cast<DWORD>(bytes[at + 2]) << 16 | static_cast<DWORD>(bytes[at + 3]) << 24;
}

WORD ReadWord(std::span<const BYTE> bytes, size_t at)
{
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}
} // namespace

std::vector<BYTE> PrinterDevMode(WStringView deviceName, bool printToFile)
{
    DEVMODEW mode{};
    size_t n = std::min<size_t>(deviceName.size(), CCHDEVICENAME - 1);
    std::memcpy(mode.dmDeviceName, deviceName.data(), n * sizeof(WCHAR));
    mode.dmSpecVersion = 0x0401;
    mode.dmDriverVersion = 0x0100;
    mode.dmSize = static_cast<WORD>(kPublicBytes);
    mode.dmDriverExtra = kPrivateBytes;
    std::vector<BYTE> bytes(kPublicBytes + kPrivateBytes, 0);
    std::memcpy(bytes.data(), &mode, kPublicBytes);
    const DWORD words[2] = {kMarker, printToFile ? 1u : 0u};
    std::memcpy(bytes.data() + kPublicBytes, words, sizeof words);
    return bytes;
}

std::optional<bool> PrintToFileOf(std::span<const BYTE> devMode)
{
    if (devMode.size() < kPublicBytes)
        return std::nullopt;
    const size_t size = ReadWord(devMode, offsetof(DEVMODEW, dmSize));
    const size_t extra = ReadWord(devMode, offsetof(DEVMODEW, dmDriverExtra));
    if (size < offsetof(DEVMODEW, dmFields) || extra < kPrivateBytes || size + extra > devMode.size() ||
        ReadDword(devMode, size) != kMarker)
        return std::nullopt;
    const DWORD flag = ReadDword(devMode, size + 4);
    if (flag > 1)
        return std::nullopt;
    return flag == 1;
}

std::string PrintTicketFor(bool printToFile)
{
    return kHead + kCopies + (printToFile ? kPrintToFileOn : kPrintToFileOff) + kTail;
}

std::optional<bool> ReadPrintTicket(std::string_view ticket)
{
    for (bool flag : {false, true})
    {
        const std::string whole = PrintTicketFor(flag);
        if (ticket.size() < whole.size() || ticket.substr(0, whole.size()) != whole)
            continue;
        // Only white space may follow the ticket's end.
        for (char c : ticket.substr(whole.size()))
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                return std::nullopt;
        return flag;
    }
    return std::nullopt;
}

} // namespace sim

using namespace sim;
using namespace sim::detail;

namespace
{
typedef HANDLE HPTPROVIDER;
constexpr int kJobScope = 2;
constexpr HRESULT kInvalidPrinter = static_cast<HRESULT>(0x80070709); // ERROR_INVALID_PRINTER_NAME
constexpr HRESULT kBadTicket = static_cast<HRESULT>(0x80040004);      // a print ticket it cannot read

struct Provider
{
    WString printerName;
};

struct Providers
{
    std::mutex mu;
    std::set<Provider*> open;
};

Providers& providers()
{
    static Providers p;
    return p;
}

bool Valid(HPTPROVIDER handle, WString* printerName)
{
    std::lock_guard g(providers().mu);
    auto* p = static_cast<Provider*>(handle);
    if (!providers().open.count(p))
        return false;
    if (printerName)
        *printerName = p->printerName;
    return true;
}

bool PrinterKnown(LPCWSTR name)
{
    if (!name)
        return false;
    std::lock_guard g(StateLock());
    return FindPrinter(name) != nullptr;
}

HRESULT WINAPI PTQuerySchemaVersionSupport(LPCWSTR printerName, DWORD* maxVersion)
{
    if (!maxVersion)
        return E_POINTER;
    if (!PrinterKnown(printerName))
        return kInvalidPrinter;
    *maxVersion = 1;
    return S_OK;
}

HRESULT WINAPI PTOpenProvider(LPCWSTR printerName, DWORD version, HPTPROVIDER* provider)
{
    SIM_FAULT_HRESULT("PTOpenProvider");
    if (!provider)
        return E_POINTER;
    *provider = nullptr;
    if (version != 1)
        return E_INVALIDARG;
    if (!PrinterKnown(printerName))
        return kInvalidPrinter;
    auto* p = new Provider{printerName};
    std::lock_guard g(providers().mu);
    providers().open.insert(p);
    *provider = p;
    return S_OK;
}

HRESULT WINAPI PTCloseProvider(HPTPROVIDER provider)
{
    std::lock_guard g(providers().mu);
    auto* p = static_cast<Provider*>(provider);
    if (!providers().open.erase(p))
        return E_INVALIDARG;
    delete p;
    return S_OK;
}

HRESULT WINAPI PTConvertDevModeToPrintTicket(HPTPROVIDER provider, ULONG devModeBytes, PDEVMODEW devMode,
                                             int scope, IStream* ticket)
{
    SIM_FAULT_HRESULT("PTConvertDevModeToPrintTicket");
    if (!Valid(provider, nullptr))
        return E_INVALIDARG;
    if (!devMode || !ticket || scope < 0 || scope > kJobScope || devModeBytes < sizeof(DEVMODEW))
        return E_INVALIDARG;
    std::span<const BYTE> bytes(reinterpret_cast<const BYTE*>(devMode), devModeBytes);
    if (size_t{devMode->dmSize} + devMode->dmDriverExtra > devModeBytes)
        return E_INVALIDARG;
    const std::string text = PrintTicketFor(PrintToFileOf(bytes).value_or(false));
    ULONG written = 0;
    HRESULT hr = ticket->Write(text.data(), static_cast<ULONG>(text.size()), &written);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT WINAPI PTConvertPrintTicketToDevMode(HPTPROVIDER provider, IStream* ticket, int baseType, int scope,
                                             ULONG* devModeBytes, PDEVMODEW* devMode, void** errorMessage)
{
    SIM_FAULT_HRESULT("PTConvertPrintTicketToDevMode");
    if (errorMessage)
        *errorMessage = nullptr;
    WString printer;
    if (!Valid(provider, &printer))
        return E_INVALIDARG;
    if (!ticket || !devModeBytes || !devMode || baseType < 0 || baseType > 1 || scope < 0 ||
        scope > kJobScope)
        return E_INVALIDARG;
    *devMode = nullptr;
    *devModeBytes = 0;
    // The ticket from the stream's position to its end.
    std::string text;
    char chunk[4096];
    for (;;)
    {
        ULONG read = 0;
        HRESULT hr = ticket->Read(chunk, sizeof chunk, &read);
        if (FAILED(hr))
            return hr;
        if (read == 0)
            break;
        text.append(chunk, read);
        if (text.size() > (1u << 24))
            return kBadTicket;
    }
    std::optional<bool> flag = ReadPrintTicket(text);
    if (!flag)
        return kBadTicket;
    std::vector<BYTE> base = PrinterDevMode(printer, *flag);
    auto* out = static_cast<BYTE*>(CoTaskMemAlloc(base.size()));
    if (!out)
        return E_OUTOFMEMORY;
    std::memcpy(out, base.data(), base.size());
    *devMode = reinterpret_cast<PDEVMODEW>(out);
    *devModeBytes = static_cast<ULONG>(base.size());
    return S_OK;
}

HRESULT WINAPI PTReleaseMemory(PVOID memory)
{
    CoTaskMemFree(memory);
    return S_OK;
}
} // namespace

std::vector<DllExport> sim::detail::PrintTicketExports()
{
    return {
        {"PTQuerySchemaVersionSupport", 1, ExportAddress(&PTQuerySchemaVersionSupport)},
        {"PTOpenProvider", 2, ExportAddress(&PTOpenProvider)},
        {"PTCloseProvider", 4, ExportAddress(&PTCloseProvider)},
        {"PTConvertPrintTicketToDevMode", 8, ExportAddress(&PTConvertPrintTicketToDevMode)},
        {"PTConvertDevModeToPrintTicket", 9, ExportAddress(&PTConvertDevModeToPrintTicket)},
        {"PTReleaseMemory", 10, ExportAddress(&PTReleaseMemory)},
    };
}
