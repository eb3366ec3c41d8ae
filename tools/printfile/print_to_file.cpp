#include "print_to_file.h"

#include <platform/shlwapi.h>

#include <cstdio>

namespace velmoprinttofile
{
namespace
{
constexpr WStringView kSavePathMarker = TEXT("velmo.getpath");
constexpr WStringView kMessageBoxMarker = TEXT("velmo-ranth.4CF96C9C-7A46-4FC2-88F2-4B7AE5E194F7");
constexpr size_t kNumberedNameLength = 14; // IMAGEnnnnn.kgl

DWORD ReadU32(std::span<const BYTE> b, size_t at)
{
    return static_cast<DWORD>(b[at]) | static_cast<DWORD>(b[at + 1]) << 8 |
           static_cast<DWORD>(b[at + 2]) << 16 | static_cast<DWORD>(b[at + 3]) << 24;
}

// A NUL-terminated UTF-16 string at `at`, bounded by the view; advances `at` past its terminator.
std::optional<WString> ReadString(std::span<const BYTE> b, size_t& at)
{
    WString s;
    for (; at + 1 < b.size(); at += 2)
    {
        WCHAR c = static_cast<WCHAR>(b[at] | (b[at + 1] << 8));
        if (c == 0)
        {
            at += 2;
            return s;
        }
        s.push_back(c);
    }
    return std::nullopt;
}

bool HasMarker(WStringView name, WStringView marker)
{
    return name.size() > 1 && name.find(marker, 1) != WStringView::npos;
}

bool NameFits(size_t folderWithSeparator)
{
    return folderWithSeparator + kNumberedNameLength < MAX_PATH;
}
} // namespace

Service SelectService(WStringView sectionName)
{
    WStringView name = sectionName.substr(0, MAX_PATH - 1);
    if (HasMarker(name, kSavePathMarker))
        return Service::SavePath;
    if (HasMarker(name, kMessageBoxMarker))
        return Service::MessageBox;
    return Service::None;
}

bool UsesNeutralTexts(WStringView modulePath)
{
    size_t slash = modulePath.find_last_of(TEXT("\\/"));
    WStringView file = slash == WStringView::npos ? modulePath : modulePath.substr(slash + 1);
    if (file.size() < 3)
        return false;
    auto lower = [](WCHAR c) { return static_cast<WCHAR>(c >= u'A' && c <= u'Z' ? c + 32 : c); };
    return lower(file[0]) == u'v' && lower(file[1]) == u'e' && lower(file[2]) == u'o';
}

bool IsAcceptableTitle(WStringView title)
{
    if (title.size() > 20)
        return false;
    for (WCHAR c : title)
    {
        if (c >= 0xFF61 && c <= 0xFF9F)
            continue; // half-width katakana
        if (PathGetCharTypeW(c) & (GCT_WILD | GCT_SEPARATOR))
            return false;
        if (c < 0x20 || c > 0x7D || c == u'+' || c == u',' || c == u';' || c == u'=')
            return false;
    }
    return true;
}

BOOL MakeDefaultFileName(LPWSTR out, LPCWSTR folder)
{
    if (!out)
        return FALSE;
    out[0] = 0;
    if (!folder || !*folder)
        return FALSE;
    WString base(folder, static_cast<size_t>(lstrlenW(folder)));
    if (base.back() != u'\\')
        base += u'\\';
    if (!NameFits(base.size()))
        return FALSE;
    for (long i = 1; i <= 99999; ++i)
    {
        char number[16];
        std::snprintf(number, sizeof number, "IMAGE%05ld.kgl", i);
        WString candidate = base;
        for (const char* p = number; *p; ++p)
            candidate += static_cast<WCHAR>(*p);
        if (!PathFileExistsW(candidate.c_str()))
        {
            lstrcpynW(out, candidate.c_str(), MAX_PATH);
            return TRUE;
        }
    }
    return FALSE;
}

std::optional<WString> ReadSaveFolder(std::span<const BYTE> view)
{
    size_t n = 0;
    while (n < MAX_PATH && 2 * n + 1 < view.size() && (view[2 * n] | view[2 * n + 1]))
        ++n;
    if (n == 0 || n + 1 >= MAX_PATH)
        return std::nullopt;
    WString folder(n, u'\0');
    for (size_t i = 0; i < n; ++i)
        folder[i] = static_cast<WCHAR>(view[2 * i] | (view[2 * i + 1] << 8));
    folder += u'\\';
    WCHAR full[MAX_PATH];
    DWORD length = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::nullopt;
    WString normalised(full, length);
    if (normalised.back() != u'\\')
        normalised += u'\\';
    if (!NameFits(normalised.size()))
        return std::nullopt;
    return normalised;
}

std::optional<MessageBoxRequest> ParseMessageBoxRequest(std::span<const BYTE> view)
{
    if (view.size() < kMessageHeaderBytes)
        return std::nullopt;
    MessageBoxRequest request;
    request.type = ReadU32(view, offsetof(MessageBoxExchange, type));
    request.timeout = ReadU32(view, offsetof(MessageBoxExchange, timeout));
    DWORD count = ReadU32(view, offsetof(MessageBoxExchange, stringCount));
    size_t at = kMessageHeaderBytes;
    auto text = ReadString(view, at);
    if (!text)
        return std::nullopt;
    request.text = std::move(*text);
    if (count >= 2)
    {
        auto caption = ReadString(view, at);
        if (!caption)
            return std::nullopt;
        request.caption = std::move(*caption);
    }
    return request;
}

} // namespace velmoprinttofile
