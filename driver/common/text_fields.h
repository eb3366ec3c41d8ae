// Small helpers both DLLs use on the fixed fields of their records: names held in WCHAR arrays and
// numbers checked against a range.
#pragma once

#include <platform/windows.h>

#include <algorithm>
#include <cstddef>

namespace velmo
{

// A terminated string as a view; null is empty.
inline WStringView View(const WCHAR* s)
{
    if (!s)
        return {};
    size_t n = 0;
    while (s[n])
        ++n;
    return WStringView(s, n);
}

// Copies at most capacity - 1 characters and clears the rest of the field.
inline void CopyName(WCHAR* dst, size_t capacity, WStringView src)
{
    size_t n = std::min(src.size(), capacity - 1);
    std::copy_n(src.data(), n, dst);
    std::fill(dst + n, dst + capacity, WCHAR{0});
}

inline bool InRange(LONG v, LONG lo, LONG hi)
{
    return v >= lo && v <= hi;
}

// The part of a printer or device name that identifies it: after the last backslash, up to a comma.
inline WStringView NamePart(WStringView name)
{
    size_t slash = name.find_last_of(u'\\');
    if (slash != WStringView::npos)
        name = name.substr(slash + 1);
    return name.substr(0, std::min(name.find(u','), name.size()));
}

} // namespace velmo
