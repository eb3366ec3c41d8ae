#include "driver_package.h"

#include "inf_file.h"
#include "inventory.h"

#include <algorithm>

namespace kgsetup
{
namespace
{
constexpr DWORD kModelListSize = 17920;
constexpr DWORD kPathSize = 260;
constexpr DWORD kStatusFileExists = 80;
constexpr DWORD kHresultFileExists = 0x80070050;

WString WindowsFolder()
{
    WCHAR buffer[kPathSize] = {};
    UINT length = GetWindowsDirectoryW(buffer, kPathSize);
    return length && length < kPathSize ? WString(buffer, length) : WString(TEXT("C:\\Windows"));
}

WString StoreLocationOf(const WString& inf)
{
    WCHAR buffer[kPathSize] = {};
    if (!SetupGetInfDriverStoreLocationW(inf.c_str(), nullptr, nullptr, buffer, kPathSize, nullptr))
        return WString();
    buffer[kPathSize - 1] = 0;
    return buffer;
}

// ".inf" at the end, in any case, becomes ".spd".
WString SettingsFileOf(const WString& inf)
{
    if (inf.size() >= 4 && EqualsNoCase(inf.substr(inf.size() - 4), TEXT(".inf")))
        return inf.substr(0, inf.size() - 4) + TEXT(".spd");
    return WString();
}

// The [Filing] keys of a settings file; false when it could not be read.
bool ReadFiling(const WString& settingsFile, std::vector<WString>& models)
{
    if (settingsFile.empty())
        return false;
    bool found = false;
    std::vector<WString> keys = ProfileKeyNames(settingsFile, TEXT("Filing"), kModelListSize, &found);
    if (!found)
        return false;
    models = ModelNamesOf(keys, kMaxModels);
    return true;
}
} // namespace

CDriverPackage::CDriverPackage(const WString& path) : infPath(path)
{
    Classify();
}

void CDriverPackage::Classify()
{
    infReadError = 0;
    if (ClassifyInf(infPath, kInfMaker, &infReadError))
        driverKind = ClassifyInf(infPath, kInfClassV4, &infReadError) ? 4 : 3;
    if (infReadError && !infPath.empty())
    {
        lastError = infReadError;
        result = static_cast<INT>(infReadError);
        return;
    }
    models = LoadModels(infPath);
    if (infPath.empty())
        infReadError = 0; // a package made without an INF has none to read
}

void CDriverPackage::Reload(const WString& path)
{
    lastError = 0;
    result = 0;
    infPath = path;
    driverStoreFolder.clear();
    uploadedInfPath.clear();
    driverName.clear();
    printer = INVALID_HANDLE_VALUE;
    driverKind = 4;
    isUploaded = isInstalled = printerAdded = 0;
    filingModels.clear();
    models.clear();
    Classify();
    isValid = 1;
}

bool CDriverPackage::ClassifyInf(const WString& path, DWORD bits, DWORD* readError)
{
    CInfFile inf(path);
    if (readError)
        *readError = inf.ReadError();
    const WString version = TEXT("Version");
    bool ok = true;
    if (bits & kInfMaker)
        ok = ok && inf.FieldEquals(version, TEXT("Class"), TEXT("Printer")) &&
             inf.FieldEquals(version, TEXT("Provider"), TEXT("Velmo Ranth")) &&
             inf.FieldBeginsWith(version, TEXT("CatalogFile"), TEXT("Ve"));
    if (bits & kInfClassV4)
        ok = ok && inf.FieldEquals(version, TEXT("ClassVer"), TEXT("4.0"));
    if (bits & kInfClassV3)
        ok = ok && !inf.FieldEquals(version, TEXT("ClassVer"), TEXT("4.0"));
    return ok;
}

std::vector<WString> CDriverPackage::LoadModels(const WString& path)
{
    lastError = ERROR_INVALID_DATA;
    result = ERROR_INVALID_DATA;
    CInfFile inf(path);
    if (const DWORD error = inf.ReadError())
    {
        infReadError = lastError = error;
        result = static_cast<INT>(error);
        return {};
    }
    const WString section = inf.GetModelsSection();
    if (section == kNoData)
        return {};
    bool found = false;
    std::vector<WString> keys = ProfileKeyNames(path, section, kModelListSize, &found);
    if (!found)
        return {};
    std::vector<WString> models = ModelNamesOf(keys, kMaxModels);
    if (models.empty())
        return {}; // a models section naming no model offers nothing to install
    lastError = 0;
    result = 0;
    return models;
}

void CDriverPackage::FindMakerOemInfs(DWORD bits)
{
    oemInfs.clear();
    oemInfsError = 0;
    const WString pattern = WindowsFolder() + TEXT("\\INF\\OEM*.INF");
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            oemInfsError = error ? error : static_cast<DWORD>(ERROR_INVALID_DATA);
        return;
    }
    do
    {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        found.cFileName[MAX_PATH - 1] = 0;
        const WString name = found.cFileName;
        DWORD readError = 0;
        if (!ClassifyInf(name, bits, &readError))
        {
            // An INF that could not be read may be ours: the list is not whole.
            if (readError && !oemInfsError)
                oemInfsError = readError;
            continue;
        }
        if (!StoreLocationOf(name).empty())
            oemInfs.push_back(name);
        else if (const DWORD error = GetLastError(); error != ERROR_NOT_AN_INSTALLED_OEM_INF)
            oemInfsError = error ? error : static_cast<DWORD>(ERROR_INVALID_DATA); // one of ours unread
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void CDriverPackage::Upload()
{
    if (!isValid)
    {
        result = 1;
        return;
    }
    WCHAR out[kPathSize] = {};
    ULONG size = kPathSize;
    const HRESULT hr =
        UploadPrinterDriverPackageW(nullptr, infPath.c_str(), nullptr, uploadFlags, nullptr, out, &size);
    lastError = static_cast<DWORD>(hr);
    result = hr;
    out[kPathSize - 1] = 0;
    uploadedInfPath = out;
    // The call answers an HRESULT; "already there" may come as the plain status or wrapped in one.
    const DWORD status = static_cast<DWORD>(hr);
    if (status != 0 && status != kStatusFileExists && status != kHresultFileExists)
        return;
    result = 0;
    isUploaded = 1;
    driverStoreFolder = StoreLocationOf(uploadedInfPath);
    if (driverStoreFolder.empty())
        lastError = GetLastError();
}

void CDriverPackage::InstallFromPackage(const WString& name)
{
    if (!isUploaded)
    {
        result = 1;
        return;
    }
    driverName = name;
    const HRESULT hr = InstallPrinterDriverFromPackageW(nullptr, uploadedInfPath.c_str(), driverName.c_str(),
                                                        nullptr, IPDFP_COPY_ALL_FILES);
    if (hr == 0)
    {
        isInstalled = 1;
        result = 0;
        return;
    }
    result = hr;
    lastError = static_cast<DWORD>(hr);
}

void CDriverPackage::AddPrinter(const WString& printerName, const WString& portName, bool bidi)
{
    if (!isInstalled)
    {
        result = 1;
        return;
    }
    EnumBuffer<DRIVER_INFO_8W> drivers = EnumDriversByNames({driverName});
    if (drivers.records.size() != 1)
    {
        // A spooler that would not list its drivers says why.
        lastError = drivers.error ? drivers.error : 1;
        result = 1;
        return;
    }
    WString name = printerName, port = portName, driver = driverName;
    const DRIVER_INFO_8W& record = drivers.records[0];
    WString processor =
        record.pszPrintProcessor && *record.pszPrintProcessor ? record.pszPrintProcessor : TEXT("winprint");
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pPortName = port.data();
    info.pDriverName = driver.data();
    info.pPrintProcessor = processor.data();
    printer = ::AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer)
    {
        printer = INVALID_HANDLE_VALUE;
        lastError = GetLastError();
        result = 1;
        return;
    }
    printerAdded = 1;
    result = 0;
    // The printer stands either way; a bidi setting that did not take is still this step's failure.
    if (!SetPrinterAttributeBit(printer, PRINTER_ATTRIBUTE_ENABLE_BIDI, bidi))
    {
        lastError = GetLastError();
        result = 1;
    }
    ClosePrinter(printer);
    printer = INVALID_HANDLE_VALUE;
}

void CDriverPackage::UninstallOemInf(const WString& name)
{
    if (!SetupUninstallOEMInfW(name.c_str(), SUOI_FORCEDELETE, nullptr))
    {
        lastError = GetLastError();
        result = 1;
        return;
    }
    result = 0;
}

int CDriverPackage::CompareDriverVer(const WString& installedInf, const WString& packageInf, DWORD* readError)
{
    CInfFile installed(installedInf), package(packageInf);
    if (readError)
        *readError = installed.ReadError() ? installed.ReadError() : package.ReadError();
    if (!installed.IsOpen() || !package.IsOpen())
        return 0;
    const char kinds[] = {'d', 'v'};
    for (DWORD field = 1; field <= 2; ++field)
    {
        const ULONGLONG a =
            ParseDriverVer(installed.GetField(TEXT("Version"), TEXT("DriverVer"), field), kinds[field - 1]);
        const ULONGLONG b =
            ParseDriverVer(package.GetField(TEXT("Version"), TEXT("DriverVer"), field), kinds[field - 1]);
        if (a != b)
            return a < b ? 2 : 3;
    }
    return 1;
}

ULONGLONG CDriverPackage::ParseDriverVer(const WString& text, char kind)
{
    ULONGLONG numbers[4] = {};
    size_t count = 0;
    for (size_t i = 0; i < text.size();)
    {
        if (text[i] < u'0' || text[i] > u'9')
        {
            ++i;
            continue;
        }
        ULONGLONG value = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        {
            value = value * 10 + (text[i] - u'0');
            if (value > 0xFFFF)
                return 0; // no 16-bit number
        }
        if (count == 4)
            return 0; // more numbers than either kind has
        numbers[count++] = value;
    }
    if (kind == 'd' && count == 3)
        return numbers[2] << 16 | ((numbers[0] << 8) & 0xFFFF) | (numbers[1] & 0xFF);
    if (kind == 'v' && count >= 1)
        return numbers[0] << 48 | numbers[1] << 32 | numbers[2] << 16 | numbers[3];
    return 0;
}

void CDriverPackage::LoadFilingModels()
{
    filingModels.clear();
    if (ReadFiling(SettingsFileOf(infPath), filingModels))
        return;
    ReadFiling(SettingsFileOf(StoreLocationOf(infPath)), filingModels);
}

bool CDriverPackage::ModelHasFile(const WString& model, const WString& file)
{
    CInfFile inf(infPath);
    const WString section = inf.GetModelsSection();
    if (section == kNoData)
        return true;
    const WString install = inf.GetField(section, model, 1);
    if (install == kNoData)
        return false;
    for (const WString& line : inf.GetLines(install + TEXT("_Files"), WString()))
        if (EqualsNoCase(line, file))
            return true;
    return false;
}

int SetPrinterAttributeBit(HANDLE printer, DWORD bit, bool on)
{
    DWORD needed = 0;
    GetPrinterW(printer, 4, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_4W))
        return 0;
    std::vector<BYTE> buffer(needed, 0);
    if (!GetPrinterW(printer, 4, buffer.data(), needed, &needed))
        return 0;
    auto* info = reinterpret_cast<PRINTER_INFO_4W*>(buffer.data());
    if (((info->Attributes & bit) != 0) == on)
        return 1;
    info->Attributes = on ? info->Attributes | bit : info->Attributes & ~bit;
    return SetPrinterW(printer, 4, buffer.data(), 0);
}

} // namespace kgsetup
