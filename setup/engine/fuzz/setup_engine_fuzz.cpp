// The first byte picks the parser, the rest is its input. 0: an INF (and the settings file beside
// it), read as a driver package is: classified, its models and models section, each model's files,
// its filing models, its version against a package's, and the bytes as DriverVer text. 1: device
// property bytes, as a string, a list and the instance ids read from them.
#include "devices.h"
#include "driver_package.h"
#include "inf_file.h"

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
    sim::machine().PutFile(kReference, std::string(std::istreambuf_iterator<char>(in), {}));
    return sim::machine().FileExists(kReference);
}

void ReadInf(std::string_view bytes)
{
    sim::machine().PutFile(kInf, bytes);
    sim::machine().PutFile(kSettings, bytes);
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
    default: // for the parsers to come
        break;
    }
    return 0;
}
