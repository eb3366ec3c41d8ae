// INF files as the Setup API reads them, shared by the INF functions, the driver store and the
// spooler's package installs. Every function here expects StateLock held.
#pragma once

#include "core/internal.h"

#include <optional>
#include <string_view>
#include <vector>

namespace sim::detail
{

struct InfLine
{
    bool hasKey = false;
    WString key;                 // quotes removed, strings substituted
    std::vector<WString> fields; // from field 1
};

struct InfSection
{
    WString name;
    std::vector<InfLine> lines;
};

struct Inf
{
    std::vector<InfSection> sections; // a name given twice is one section

    const InfSection* Find(WStringView section) const;
    const InfLine* FindLine(WStringView section, WStringView key) const;
    // Field `index` (1 on) of the first line of `key`; empty when there is none.
    WString Field(WStringView section, WStringView key, size_t index = 1) const;
    // The key names of a section, in order.
    std::vector<WString> Keys(WStringView section) const;
};

// Reads an INF's bytes (the system code page, or UTF-16LE or UTF-8 after a byte-order mark). Fails
// with a setup error and the line it stopped at.
std::optional<Inf> ParseInf(std::string_view bytes, DWORD* error, UINT* errorLine);
// Reads an INF file; a bare name lies in the system INF folder. Fails with ERROR_FILE_NOT_FOUND too.
std::optional<Inf> ReadInfFile(WStringView name, DWORD* error, UINT* errorLine = nullptr);
WString InfPathOf(WStringView name);

inline constexpr WStringView kInfFolder = u"C:\\Windows\\INF";

} // namespace sim::detail
