// Code pages as Windows converts them: unmappable characters become the default character, invalid
// input the replacement character, and the five bytes code page 1252 leaves undefined map to the
// control characters of the same value.
#include "core/internal.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace sim::detail
{
namespace
{
const char* IconvName(UINT cp)
{
    switch (cp)
    {
    case 1252:
        return "CP1252";
    case 932:
        return "CP932";
    case 437:
        return "CP437";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case CP_UTF8:
        return "UTF-8";
    default:
        return nullptr;
    }
}

bool Undefined1252(unsigned char b)
{
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

class Converter
{
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as possible; returns false at an input it cannot convert, leaving `in` there.
    bool Step(const char*& in, size_t& inLeft, std::string& out)
    {
        char buffer[256];
        while (inLeft > 0)
        {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            char* src = const_cast<char*>(in);
            size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
            out.append(buffer, dst);
            in = src;
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
            {
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
                return false;
            }
        }
        return true;
    }

private:
    iconv_t cd_;
};

// Returns false when the input held something invalid (and it was replaced).
bool Decode(std::string_view narrow, UINT cp, WString& wide)
{
    wide.clear();
    const char* name = IconvName(cp);
    if (!name)
        name = "CP1252";
    Converter conv("UTF-16LE", name);
    bool clean = true;
    std::string utf16;
    const char* in = narrow.data();
    size_t left = narrow.size();
    while (conv.ok() && left > 0)
    {
        if (conv.Step(in, left, utf16))
            break;
        unsigned char bad = static_cast<unsigned char>(*in);
        char16_t repl = (cp == 1252 && Undefined1252(bad)) ? bad : (cp == 932 ? 0x30FB : 0xFFFD);
        if (!(cp == 1252 && Undefined1252(bad)))
            clean = false;
        utf16.push_back(static_cast<char>(repl & 0xFF));
        utf16.push_back(static_cast<char>(repl >> 8));
        ++in;
        --left;
    }
    wide.resize(utf16.size() / 2);
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                        (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
    return clean;
}

// Returns false when a character had no mapping and the default character was used.
bool Encode(WStringView wide, UINT cp, std::string& narrow, char defaultChar)
{
    narrow.clear();
    const char* name = IconvName(cp);
    if (!name)
        name = "CP1252";
    Converter conv(name, "UTF-16LE");
    std::string utf16(wide.size() * 2, '\0');
    for (size_t i = 0; i < wide.size(); ++i)
    {
        utf16[2 * i] = static_cast<char>(wide[i] & 0xFF);
        utf16[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    bool clean = true;
    const char* in = utf16.data();
    size_t left = utf16.size();
    while (conv.ok() && left > 0)
    {
        if (conv.Step(in, left, narrow))
            break;
        char16_t c = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                           (static_cast<unsigned char>(in[1]) << 8));
        size_t skip = 2;
        if (c >= 0xD800 && c <= 0xDBFF && left >= 4)
            skip = 4;
        if (cp == 1252 && c < 0x100 && Undefined1252(static_cast<unsigned char>(c)))
            narrow.push_back(static_cast<char>(c));
        else if (cp == CP_UTF8)
            narrow.append("\xEF\xBF\xBD");
        else
        {
            narrow.push_back(defaultChar);
            clean = false;
        }
        in += skip;
        left -= skip;
    }
    return clean;
}
} // namespace

WString Widen(std::string_view narrow, UINT codePage)
{
    WString out;
    Decode(narrow, ResolveCodePage(codePage), out);
    return out;
}

std::string Narrow(WStringView wide, UINT codePage)
{
    std::string out;
    Encode(wide, ResolveCodePage(codePage), out, '?');
    return out;
}

std::string ToUtf8(WStringView wide)
{
    return Narrow(wide, CP_UTF8);
}

WString FromUtf8(std::string_view utf8)
{
    return Widen(utf8, CP_UTF8);
}

WString DecodeTextFile(std::string_view bytes, TextForm* form)
{
    TextForm found = TextForm::CodePage;
    WString out;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
    {
        found = TextForm::Utf16;
        out.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) // an odd last byte is no character
            out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
    {
        found = TextForm::Utf8;
        out = FromUtf8(bytes.substr(3));
    }
    else
        out = Widen(bytes, CP_ACP);
    if (form)
        *form = found;
    return out;
}

std::string EncodeTextFile(WStringView text, TextForm form)
{
    switch (form)
    {
    case TextForm::Utf16: {
        std::string out = "\xFF\xFE";
        out.reserve(2 + text.size() * 2);
        for (WCHAR c : text)
        {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        return out;
    }
    case TextForm::Utf8:
        return "\xEF\xBB\xBF" + ToUtf8(text);
    case TextForm::CodePage:
        break;
    }
    return Narrow(text, CP_ACP);
}

} // namespace sim::detail

using namespace sim::detail;

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide,
                               int cchWide)
{
    if (!multiByte || cbMultiByte == 0 || cchWide < 0 || (cchWide > 0 && !wide))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cbMultiByte < 0 ? std::strlen(multiByte) + 1 : static_cast<size_t>(cbMultiByte);
    WString out;
    bool clean = Decode(std::string_view(multiByte, length), ResolveCodePage(codePage), out);
    if (!clean && (flags & MB_ERR_INVALID_CHARS))
    {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchWide == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cchWide))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(out.begin(), out.end(), wide);
    return static_cast<int>(out.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int cchWide, LPSTR multiByte,
                               int cbMultiByte, LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    if (!wide || cchWide == 0 || cbMultiByte < 0 || (cbMultiByte > 0 && !multiByte))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (cchWide < 0)
    {
        while (wide[length])
            ++length;
        ++length;
    }
    else
        length = static_cast<size_t>(cchWide);
    std::string out;
    bool clean =
        Encode(WStringView(wide, length), ResolveCodePage(codePage), out, defaultChar ? *defaultChar : '?');
    if (usedDefaultChar)
        *usedDefaultChar = clean ? FALSE : TRUE;
    if (cbMultiByte == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMultiByte))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, out.data(), out.size());
    return static_cast<int>(out.size());
}

int WINAPI lstrlenA(LPCSTR s)
{
    return s ? static_cast<int>(std::strlen(s)) : 0;
}

int WINAPI lstrlenW(LPCWSTR s)
{
    return s ? static_cast<int>(std::char_traits<char16_t>::length(s)) : 0;
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    for (;; ++a, ++b)
    {
        char16_t x = FoldChar(*a), y = FoldChar(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int maxLength)
{
    if (!dst || !src || maxLength <= 0)
        return dst;
    int i = 0;
    for (; i < maxLength - 1 && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
    return dst;
}
