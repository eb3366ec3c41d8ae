#include "inf_file.h"

#include <algorithm>

namespace kgsetup
{
namespace
{
constexpr DWORD kFieldSize = 4096;
constexpr DWORD kManufacturerSize = 260;
// A key list is read whole: the buffer grows while the profile function reports it cut, up to this.
constexpr DWORD kMaxListSize = 1u << 22;

// The strings of a double-NUL list of `length` characters.
std::vector<WString> SplitList(const WCHAR* list, DWORD length)
{
    std::vector<WString> out;
    DWORD i = 0;
    while (i < length && list[i])
    {
        DWORD start = i;
        while (i < length && list[i])
            ++i;
        out.emplace_back(list + start, i - start);
        ++i;
    }
    return out;
}

WString StripPercents(WString key)
{
    if (!key.empty() && key.front() == u'%')
        key.erase(0, 1);
    if (!key.empty() && key.back() == u'%')
        key.pop_back();
    return key;
}
} // namespace

DWORD InfReadError(DWORD openError)
{
    switch (openError)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_WRONG_INF_STYLE:
    case ERROR_EXPECTED_SECTION_NAME:
    case ERROR_BAD_SECTION_NAME_LINE:
    case ERROR_SECTION_NAME_TOO_LONG:
    case ERROR_GENERAL_SYNTAX:
        return 0;
    case 0:
        return ERROR_INVALID_DATA; // failed without saying why: not known to be someone else's
    default:
        return openError;
    }
}

bool EqualsNoCase(const WString& a, const WString& b)
{
    return a.size() == b.size() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::vector<WString> ProfileKeyNames(const WString& file, const WString& section, DWORD initialSize,
                                     bool* found)
{
    *found = false;
    for (DWORD size = std::max<DWORD>(initialSize, 16); size <= kMaxListSize; size *= 2)
    {
        std::vector<WCHAR> buffer(size, 0);
        DWORD length = GetPrivateProfileStringW(section.c_str(), nullptr, kNoInfFileName.c_str(),
                                                buffer.data(), size, file.c_str());
        if (length == size - 2 && size < kMaxListSize)
            continue; // cut: read again with room for the rest
        // The default alone means the file or the section is missing.
        if (length == kNoInfFileName.size() && WString(buffer.data(), length) == kNoInfFileName &&
            (length + 1 >= size || buffer[length + 1] == 0))
            return {};
        *found = true;
        return SplitList(buffer.data(), std::min(length, size));
    }
    return {};
}

std::vector<WString> ModelNamesOf(const std::vector<WString>& keys, size_t limit)
{
    std::vector<WString> names;
    for (const WString& key : keys)
    {
        if (names.size() >= limit)
            break;
        WString name = key;
        if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"')
            name = name.substr(1, name.size() - 2);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

CInfFile::CInfFile(WString path) : path_(std::move(path))
{
    inf_ = SetupOpenInfFileW(path_.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    isOpen_ = inf_ != INVALID_HANDLE_VALUE;
    if (!isOpen_)
        openError_ = GetLastError();
}

CInfFile::~CInfFile()
{
    if (isOpen_)
        SetupCloseInfFile(inf_);
}

WString CInfFile::GetField(const WString& section, const WString& key, DWORD index)
{
    if (!isOpen_ ||
        !SetupFindFirstLineW(inf_, section.c_str(), key.empty() ? nullptr : key.c_str(), &context_))
        return kNoData;
    std::vector<WCHAR> buffer(kFieldSize, 0);
    if (!SetupGetStringFieldW(&context_, index, buffer.data(), kFieldSize, nullptr))
        return kNoData;
    buffer.back() = 0;
    return buffer.data();
}

bool CInfFile::FieldEquals(const WString& section, const WString& key, const WString& text)
{
    WString field = GetField(section, key, 1);
    return field != kNoData && EqualsNoCase(field, text);
}

bool CInfFile::FieldBeginsWith(const WString& section, const WString& key, const WString& text)
{
    WString field = GetField(section, key, 1);
    return field != kNoData && field.size() >= text.size() &&
           EqualsNoCase(field.substr(0, text.size()), text);
}

WString CInfFile::GetManufacturer()
{
    // The profile functions give the key raw ("%Mfg%"), which names the [Strings] value.
    std::vector<WCHAR> buffer(kManufacturerSize, 0);
    GetPrivateProfileStringW(TEXT("Manufacturer"), nullptr, kNoData.c_str(), buffer.data(), kManufacturerSize,
                             path_.c_str());
    buffer.back() = 0;
    return GetField(TEXT("Strings"), StripPercents(buffer.data()), 1);
}

WString CInfFile::GetModelsSection()
{
    WString manufacturer = GetManufacturer();
    if (manufacturer == kNoData)
        return kNoData;
    WString section = GetField(TEXT("Manufacturer"), manufacturer, 1);
    if (section == kNoData)
        return kNoData;
    WString decoration = GetField(TEXT("Manufacturer"), manufacturer, 2);
    return decoration == kNoData ? section : section + TEXT(".") + decoration;
}

std::vector<WString> CInfFile::GetLines(const WString& section, const WString& key)
{
    std::vector<WString> lines;
    if (!isOpen_ ||
        !SetupFindFirstLineW(inf_, section.c_str(), key.empty() ? nullptr : key.c_str(), &context_))
        return lines;
    std::vector<WCHAR> buffer(kFieldSize, 0);
    do
    {
        if (SetupGetStringFieldW(&context_, 1, buffer.data(), kFieldSize, nullptr))
        {
            buffer.back() = 0;
            lines.emplace_back(buffer.data());
        }
    } while (SetupFindNextLine(&context_, &context_));
    return lines;
}

} // namespace kgsetup
