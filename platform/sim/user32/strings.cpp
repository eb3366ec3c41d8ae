// Formatting into a caller's buffer.
#include "user32/desktop_internal.h"

#include <cstdarg>

using namespace sim;
using namespace sim::detail;

int WINAPIV wsprintfW(LPWSTR buffer, LPCWSTR format, ...)
{
    // Supports what the package's programs format: %s %c %d %i %u %x %X %ld %lu %%, with flags '-'
    // and '0' and a width. Output stops at 1024 characters, as on Windows.
    va_list args;
    va_start(args, format);
    WString out;
    for (const WCHAR* p = format; p && *p; ++p)
    {
        if (*p != u'%')
        {
            out += *p;
            continue;
        }
        ++p;
        if (*p == u'%')
        {
            out += u'%';
            continue;
        }
        bool left = false, zero = false;
        for (; *p == u'-' || *p == u'0'; ++p)
            (*p == u'-' ? left : zero) = true;
        size_t width = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p)
            width = width * 10 + static_cast<size_t>(*p - u'0');
        if (*p == u'l' || *p == u'h')
            ++p;
        WString field;
        switch (*p)
        {
        case u's': {
            const WCHAR* s = va_arg(args, const WCHAR*);
            field = s ? s : u"(null)";
            break;
        }
        case u'c':
            field = WString(1, static_cast<WCHAR>(va_arg(args, int)));
            break;
        case u'd':
        case u'i': {
            int v = va_arg(args, int);
            field = Widen(std::to_string(v));
            if (zero && v < 0 && width)
            {
                field.erase(0, 1);
                while (field.size() + 1 < width)
                    field.insert(field.begin(), u'0');
                field.insert(field.begin(), u'-');
            }
            break;
        }
        case u'u':
            field = Widen(std::to_string(va_arg(args, unsigned)));
            break;
        case u'x':
        case u'X': {
            unsigned v = va_arg(args, unsigned);
            const char* digits = *p == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
            do
            {
                field.insert(field.begin(), static_cast<WCHAR>(digits[v & 15]));
                v >>= 4;
            } while (v);
            break;
        }
        default:
            field = WString(1, *p);
            break;
        }
        while (field.size() < width)
            if (left)
                field.push_back(u' ');
            else
                field.insert(field.begin(), zero ? u'0' : u' ');
        out += field;
        if (!*p)
            break;
    }
    va_end(args);
    if (out.size() > 1024)
        out.resize(1024);
    CopyOut(out, buffer, 1025);
    return static_cast<int>(out.size());
}
