// The driver store: an uploaded package's INF and the files its [SourceDisksFiles] list are copied
// into a folder of their own under DriverStore\FileRepository, named by the package's contents, and
// the INF is published as the next free oemNN.inf of the system INF folder. Uploading the same
// package again finds it where it is.
#include "setupapi/driverstore.h"
#include "setupapi/inf.h"
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <platform/setupapi.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace sim
{
namespace
{
const WStringView kRepository = u"C:\\Windows\\System32\\DriverStore\\FileRepository";

struct Stored
{
    StorePackage package;
    uint64_t contents = 0;
};

struct DriverStore : detail::PartBase
{
    std::map<WString, Stored> byName; // by folded published name
    HRESULT existingAnswer = 0;
};

DriverStore& store()
{
    return detail::Part<DriverStore>();
}

WString FileNameOf(WStringView path)
{
    size_t cut = path.find_last_of(u"\\/");
    return WString(cut == WStringView::npos ? path : path.substr(cut + 1));
}

WString FolderOf(WStringView path)
{
    size_t cut = path.find_last_of(u"\\/");
    return WString(cut == WStringView::npos ? WStringView() : path.substr(0, cut));
}

void Hash(uint64_t& h, std::string_view bytes)
{
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull; // ends each part, so moved bytes hash differently
}

// The files a package brings beside its INF: the keys of its source-file sections, the machine's
// own architecture's too, each under its disk's folder and its own subfolder (relative to the INF).
std::vector<WString> SourceFiles(const detail::Inf& inf)
{
    const WStringView arch = detail::System64() ? u".amd64" : u".x86";
    auto trimmed = [](WString path) {
        while (!path.empty() && (path.front() == u'\\' || path.front() == u'/'))
            path.erase(0, 1);
        while (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
            path.pop_back();
        return path;
    };
    std::vector<WString> files;
    for (const WString& section : {WString(u"SourceDisksFiles"), u"SourceDisksFiles" + WString(arch)})
        for (const WString& key : inf.Keys(section))
        {
            if (key.empty())
                continue;
            const WString disk = inf.Field(section, key, 1);
            WString folder = trimmed(inf.Field(u"SourceDisksNames" + WString(arch), disk, 4));
            if (folder.empty())
                folder = trimmed(inf.Field(u"SourceDisksNames", disk, 4));
            const WString sub = trimmed(inf.Field(section, key, 2));
            WString path = folder;
            for (const WString& part : {sub, key})
                if (!part.empty())
                    path += (path.empty() ? u"" : u"\\") + part;
            bool seen = false;
            for (const WString& f : files)
                seen = seen || detail::EqualNoCase(f, path);
            if (!seen)
                files.push_back(path);
        }
    return files;
}

HRESULT FromSetupError(DWORD error)
{
    // Setup's own errors keep their number under the setup facility.
    if ((error & 0xE0000000u) == 0xE0000000u)
        return static_cast<HRESULT>((error & 0xFFFF) | 0x800F0000u);
    return detail::HResultOf(error);
}

bool CopyInto(const WString& from, const WString& to)
{
    std::error_code ec;
    fs::create_directories(detail::HostPathOf(to).parent_path(), ec);
    fs::copy_file(detail::HostPathOf(from), detail::HostPathOf(to), fs::copy_options::overwrite_existing, ec);
    return !ec;
}
} // namespace

const StorePackage* detail::FindStorePackage(WStringView nameOrPath)
{
    if (nameOrPath.empty())
        return nullptr;
    WString full = InfPathOf(nameOrPath);
    for (const auto& [key, stored] : store().byName)
        if (EqualNoCase(full, stored.package.storeInfPath) ||
            EqualNoCase(full, WString(kInfFolder) + u"\\" + stored.package.publishedName))
            return &stored.package;
    return nullptr;
}

WString detail::StoreFolderOf(const StorePackage& package)
{
    return FolderOf(package.storeInfPath);
}

std::vector<StorePackage> Spooler::Packages() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<StorePackage> out;
    for (const auto& [key, stored] : store().byName)
        out.push_back(stored.package);
    return out;
}

void Spooler::SetPackageUsedByDevices(WStringView publishedName, bool used)
{
    std::lock_guard g(detail::StateLock());
    auto it = store().byName.find(detail::Fold(publishedName));
    if (it != store().byName.end())
        it->second.package.usedByDevices = used;
}

void Spooler::SetUploadExistingAnswer(HRESULT answer)
{
    std::lock_guard g(detail::StateLock());
    store().existingAnswer = answer;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

// Stores the INF at `source` with the files it lists, or finds it stored already (`existed`); a
// Win32 or setup error when it cannot. StateLock held.
DWORD sim::detail::StoreInfPackage(const WString& source, const StorePackage** stored, bool* existed,
                                   const std::function<DWORD(const Inf&)>& accept)
{
    *stored = nullptr;
    *existed = false;
    // A published INF (the INF folder's "oemN.inf") stands for its package in the store.
    if (EqualNoCase(FolderOf(source), kInfFolder))
        if (auto it = store().byName.find(Fold(FileNameOf(source))); it != store().byName.end())
        {
            *stored = &it->second.package;
            *existed = true;
            return ERROR_SUCCESS;
        }
    auto bytes = sim::files().Bytes(source);
    if (!bytes)
        return ERROR_FILE_NOT_FOUND;
    DWORD error = 0;
    auto inf = ParseInf(*bytes, &error, nullptr);
    if (!inf)
        return error;
    if (accept)
        if (DWORD refused = accept(*inf))
            return refused;
    uint64_t contents = 14695981039346656037ull;
    Hash(contents, *bytes);
    const WString sourceFolder = FolderOf(source);
    const std::vector<WString> files = SourceFiles(*inf);
    for (const WString& f : files)
    {
        auto fileBytes = sim::files().Bytes(sourceFolder + u"\\" + f);
        if (!fileBytes)
            return ERROR_FILE_NOT_FOUND;
        Hash(contents, Narrow(Fold(f)));
        Hash(contents, *fileBytes);
    }
    for (const auto& [key, s] : store().byName)
        if (s.contents == contents)
        {
            *stored = &s.package;
            *existed = true;
            return ERROR_SUCCESS;
        }

    char id[17];
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(contents));
    const WString infName = FileNameOf(source);
    WString lower = infName; // the store names its folders in lower case
    for (WCHAR& c : lower)
        c = c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c;
    const WString folder =
        WString(kRepository) + u"\\" + lower + (System64() ? u"_amd64_" : u"_x86_") + Widen(id);
    std::error_code ec;
    fs::create_directories(HostPathOf(folder), ec);
    bool copied = !ec && CopyInto(source, folder + u"\\" + infName);
    for (size_t i = 0; copied && i < files.size(); ++i)
        copied = CopyInto(sourceFolder + u"\\" + files[i], folder + u"\\" + files[i]);
    fs::create_directories(HostPathOf(kInfFolder), ec);
    WString published;
    for (int n = 0; copied && published.empty() && n < 10000; ++n)
    {
        WString candidate = u"oem" + Widen(std::to_string(n)) + u".inf";
        if (!sim::files().Exists(WString(kInfFolder) + u"\\" + candidate) &&
            store().byName.find(Fold(candidate)) == store().byName.end())
            published = candidate;
    }
    if (published.empty() || !CopyInto(source, WString(kInfFolder) + u"\\" + published))
    {
        fs::remove_all(HostPathOf(folder), ec); // nothing half-stored stays behind
        return ERROR_WRITE_FAULT;
    }
    Stored entry{StorePackage{published, folder + u"\\" + infName, source, false}, contents};
    *stored = &(store().byName[Fold(published)] = entry).package;
    return ERROR_SUCCESS;
}

HRESULT WINAPI UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR, DWORD, HWND,
                                           LPWSTR destInfPath, PULONG destInfPathSize)
{
    SIM_SPOOLER_CALL_HRESULT("UploadPrinterDriverPackageW");
    if (!infPath || !*infPath || !destInfPathSize || (server && *server))
        return HResultOf(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    if (!Administrator())
        return HResultOf(ERROR_ACCESS_DENIED);
    const StorePackage* package = nullptr;
    bool existed = false;
    DWORD error = StoreInfPackage(FullPath(infPath), &package, &existed, [](const Inf& inf) {
        return EqualNoCase(inf.Field(u"Version", u"Class"), u"Printer") ? DWORD(0)
                                                                        : DWORD(ERROR_WRONG_INF_STYLE);
    });
    if (error)
        return FromSetupError(error);
    const ULONG room = *destInfPathSize;
    *destInfPathSize = static_cast<ULONG>(package->storeInfPath.size() + 1);
    if (!destInfPath || room < package->storeInfPath.size() + 1)
        return HResultOf(ERROR_INSUFFICIENT_BUFFER);
    std::copy(package->storeInfPath.begin(), package->storeInfPath.end(), destInfPath);
    destInfPath[package->storeInfPath.size()] = 0;
    return existed ? store().existingAnswer : 0;
}

BOOL WINAPI SetupGetInfDriverStoreLocationW(PCWSTR fileName, PVOID, PCWSTR, PWSTR returnBuffer,
                                            DWORD returnBufferSize, PDWORD requiredSize)
{
    SIM_SPOOLER_CALL("SetupGetInfDriverStoreLocationW", FALSE);
    if (!fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    const StorePackage* package = FindStorePackage(fileName);
    if (!package)
    {
        SetLastError(ERROR_NOT_AN_INSTALLED_OEM_INF);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(package->storeInfPath.size() + 1);
    if (requiredSize)
        *requiredSize = needed;
    if (!returnBuffer || returnBufferSize < needed)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(package->storeInfPath.begin(), package->storeInfPath.end(), returnBuffer);
    returnBuffer[package->storeInfPath.size()] = 0;
    return TRUE;
}

BOOL WINAPI SetupUninstallOEMInfW(PCWSTR infFileName, DWORD flags, PVOID)
{
    SIM_SPOOLER_CALL("SetupUninstallOEMInfW", FALSE);
    if (!infFileName || !*infFileName || WStringView(infFileName).find_first_of(u"\\/:") != WStringView::npos)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    if (!Administrator())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto it = store().byName.find(Fold(infFileName));
    if (it == store().byName.end())
    {
        SetLastError(ERROR_NOT_AN_INSTALLED_OEM_INF);
        return FALSE;
    }
    if (it->second.package.usedByDevices && !(flags & SUOI_FORCEDELETE))
    {
        SetLastError(ERROR_INF_IN_USE_BY_DEVICES);
        return FALSE;
    }
    std::error_code ec;
    fs::remove_all(HostPathOf(StoreFolderOf(it->second.package)), ec);
    const WString published = WString(kInfFolder) + u"\\" + it->second.package.publishedName;
    fs::remove(HostPathOf(published), ec);
    fs::remove(HostPathOf(published.substr(0, published.size() - 3) + u"pnf"), ec);
    store().byName.erase(it);
    return TRUE;
}
