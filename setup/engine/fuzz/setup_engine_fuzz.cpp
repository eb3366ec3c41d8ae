// The first byte picks the parser, the rest is its input. 0: an INF (and the settings file beside
// it), read as a driver package is: classified, its models and models section, each model's files,
// its filing models, its version against a package's, and the bytes as DriverVer text. 1: device
// property bytes, as a string, a list and the instance ids read from them. 2: a version record;
// 3: a registered DisplayIcon made a command line; 4: a browser version text; 5: a print ticket
// given the print-to-file edit. Each result must keep its promises: a version only from a sound
// record, a command only within its limit and with every path quoted, an edit of one byte.
#include "devices.h"
#include "driver_package.h"
#include "inf_file.h"
#include "install_workers.h"
#include "setup_context.h"
#include "shell_files.h"
#include "uninstall_entry.h"

#include <sim/machine.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
using namespace kgsetup;

const WString kInf = TEXT("C:\\fuzz\\package.inf");
const WString kSettings = TEXT("C:\\fuzz\\package.spd");
const WString kReference = TEXT("C:\\fuzz\\reference.inf");

bool SetUpOnce()
{
    sim::machine().Reset();
    std::ifstream in(std::string(SETUP_ENGINE_FIXTURES) + "/v3/VelmoQ7.inf", std::ios::binary);
    sim::files().Put(kReference, std::string(std::istreambuf_iterator<char>(in), {}));
    return sim::files().Exists(kReference);
}

void ReadInf(std::string_view bytes)
{
    sim::files().Put(kInf, bytes);
    sim::files().Put(kSettings, bytes);
    CDriverPackage package(kInf);
    if (package.models.size() > kMaxModels || (package.models.empty() != (package.result != 0)))
        __builtin_trap();
    for (const WString& model : package.models)
        if (model.empty())
            __builtin_trap();
    CInfFile inf(kInf);
    const WString section = inf.GetModelsSection();
    for (const WString& model : package.models)
        package.ModelHasFile(model, TEXT("VELMOQ7.DLL"));
    package.LoadFilingModels();
    if (package.filingModels.size() > kMaxModels)
        __builtin_trap();
    const int compared = CDriverPackage::CompareDriverVer(kInf, kReference);
    if (compared < 0 || compared > 3 || (compared == 0 && inf.IsOpen()))
        __builtin_trap();
    // The bytes as DriverVer text: a date fits 32 bits.
    WString text(bytes.begin(), bytes.end());
    if (CDriverPackage::ParseDriverVer(text, 'd') > 0xFFFFFFFFull)
        __builtin_trap();
    CDriverPackage::ParseDriverVer(text, 'v');
    (void)section;
}
void ReadDeviceProperty(std::string_view bytes)
{
    const std::span<const BYTE> raw(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    const WString text = PropertyText(raw);
    if (text.size() > bytes.size() / 2 || text.find(WCHAR(0)) != WString::npos)
        __builtin_trap();
    size_t total = 0;
    for (const WString& entry : PropertyList(raw))
    {
        if (entry.empty() || entry.find(WCHAR(0)) != WString::npos)
            __builtin_trap();
        total += entry.size() + 1;
    }
    if (total > bytes.size() / 2 + 1)
        __builtin_trap();
    if (auto identity = ParseUsbInstanceId(text))
        if (identity->serial.empty() || identity->serial.size() >= text.size())
            __builtin_trap();
    if (auto key = PortKeyOf(text))
        if (key->empty() || key->size() >= text.size() || key->find(WCHAR('&')) != WString::npos)
            __builtin_trap();
}

WString Wide(std::string_view bytes)
{
    WString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text +=
            static_cast<WCHAR>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    return text;
}

void ReadVersionRecord(std::string_view bytes)
{
    auto version = ParseFileVersion({reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()});
    if (version && bytes.size() < 52)
        __builtin_trap(); // a fixed part cannot come from fewer bytes than it has
}

void BuildCommand(std::string_view bytes)
{
    auto command = BuildSelfDeleteCommand(Wide(bytes), u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows",
                                          u"C:\\ProgramData");
    if (!command)
        return;
    size_t quotes = 0;
    for (WCHAR c : *command)
        quotes += c == u'"';
    if (command->size() > kMaxSelfDeleteCommand || quotes % 2 != 0 || quotes < 12)
        __builtin_trap();
}

void EditTicket(std::string_view bytes)
{
    std::string ticket(bytes);
    switch (EditPrintToFileTicket(ticket))
    {
    case TicketEdit::Edited:
        if (ticket.size() + 1 != bytes.size() || ticket.find("psk:On") == std::string::npos)
            __builtin_trap();
        break;
    case TicketEdit::AlreadyOn:
    case TicketEdit::NoFeature:
        if (ticket != bytes)
            __builtin_trap();
        break;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = SetUpOnce();
    if (!ready)
        __builtin_trap();
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0])
    {
    case 0:
        ReadInf(bytes);
        break;
    case 1:
        ReadDeviceProperty(bytes);
        break;
    case 2:
        ReadVersionRecord(bytes);
        break;
    case 3:
        BuildCommand(bytes);
        break;
    case 4:
        ParseIeVersion(Wide(bytes));
        break;
    case 5:
        EditTicket(bytes);
        break;
    default:
        break;
    }
    return 0;
}
