// Test support: reading a printed stream back without the driver's own code. The code-block decoder
// is written from the code table alone; the record reader from the record layouts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace streamtest
{

using Bytes = std::vector<std::uint8_t>;
using Codes = std::vector<std::uint32_t>;

// Codes of a block, unpacked two from every three bytes.
inline Codes Unpack(const Bytes& block)
{
    Codes codes;
    for (std::size_t i = 0; i + 3 <= block.size(); i += 3)
    {
        const std::uint32_t v = block[i] | (block[i + 1] << 8) | (block[i + 2] << 16);
        codes.push_back(v & 0xFFF);
        codes.push_back(v >> 12);
    }
    return codes;
}

// A decoder written from the code table alone, strict about everything the coder promises.
struct Decoded
{
    Bytes data;
    int freezes = 0;
    std::size_t dataCodesBeforeFreeze = 0;
    bool lastEntryAfterFreeze = false;
};

inline std::optional<Decoded> Decode(const Bytes& block, std::string& error)
{
    if (block.size() % 3 != 0)
    {
        error = "block is not whole triples";
        return std::nullopt;
    }
    const Codes codes = Unpack(block);
    Decoded out;
    std::vector<Bytes> table(4096);
    std::uint32_t next = 0;
    bool frozen = false;
    std::optional<Bytes> prev;
    std::size_t dataCodes = 0;
    std::size_t i = 0;
    if (codes.size() < 2 || codes[0] != 257 || codes[1] != 0)
    {
        error = "block does not open with a clear";
        return std::nullopt;
    }
    while (i < codes.size())
    {
        const std::uint32_t code = codes[i++];
        if (code == 257)
        {
            if (i == codes.size())
            {
                error = "control code without argument";
                return std::nullopt;
            }
            const std::uint32_t arg = codes[i++];
            if (arg == 0)
            {
                next = 512;
                frozen = false;
                prev.reset();
            }
            else if (arg == 2)
            {
                ++out.freezes;
                out.dataCodesBeforeFreeze = dataCodes;
                frozen = true;
            }
            else
            {
                error = "unknown control argument";
                return std::nullopt;
            }
            continue;
        }
        if (code == 258)
        {
            // Only a padding code may follow, and only to complete the last triple.
            if (codes.size() - i > 1 || (i < codes.size() && codes[i] != 0))
            {
                error = "data behind the end code";
                return std::nullopt;
            }
            return out;
        }
        if (code >= 259 && code <= 511)
        {
            const std::size_t words = code == 511 ? 254 : code - 257;
            out.data.insert(out.data.end(), words * 4, 0);
            continue;
        }
        Bytes s;
        if (code < 256)
            s = {static_cast<std::uint8_t>(code)};
        else if (code == 256)
        {
            if (!prev || frozen || next > 4095)
            {
                error = "256 with no entry being defined";
                return std::nullopt;
            }
            s = *prev;
            s.push_back((*prev)[0]);
            if (out.freezes > 0)
                out.lastEntryAfterFreeze = true;
        }
        else
        {
            if (code >= next || table[code].empty())
            {
                error = "code " + std::to_string(code) + " not yet defined";
                return std::nullopt;
            }
            s = table[code];
        }
        if (prev && !frozen && next <= 4095)
        {
            Bytes entry = *prev;
            entry.push_back(s[0]);
            table[next++] = std::move(entry);
        }
        ++dataCodes;
        out.data.insert(out.data.end(), s.begin(), s.end());
        prev = std::move(s);
    }
    error = "no end code";
    return std::nullopt;
}

// One record of a stream: its type character and payload; for a sub-band, its band header fields and
// the decoded lines.
struct Record
{
    char type = 0;
    Bytes payload;
    std::uint16_t firstLine = 0;
    std::uint16_t lineCount = 0;
    Bytes data; // a sub-band's decoded bytes
};

inline std::uint16_t Le16At(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// The records of a stream, or nothing (with the reason) when it is not well formed.
inline std::optional<std::vector<Record>> ReadStream(const std::string& stream, std::string& error)
{
    const Bytes s(stream.begin(), stream.end());
    const Bytes prefix = {0x1B, '#', '1', '2', '3', '4', '5', 'X'};
    std::vector<Record> out;
    std::size_t at = 0;
    while (at < s.size())
    {
        if (s.size() - at < 10 || !std::equal(prefix.begin(), prefix.end(), s.begin() + at) || s[at + 9] != 0)
        {
            error = "bad record header at " + std::to_string(at);
            return std::nullopt;
        }
        Record r;
        r.type = static_cast<char>(s[at + 8]);
        at += 10;
        std::size_t length = 0;
        switch (r.type)
        {
        case ',':
        case '#':
        case '\'':
            length = 0;
            break;
        case '&':
            length = 5;
            break;
        case '(':
        case '!':
            length = 26;
            break;
        case ' ':
            length = 2;
            break;
        case '"':
            length = 10;
            break;
        default:
            error = std::string("unknown record type ") + r.type;
            return std::nullopt;
        }
        if (s.size() - at < length)
        {
            error = "payload cut short";
            return std::nullopt;
        }
        r.payload.assign(s.begin() + at, s.begin() + at + length);
        at += length;
        if (r.type == '"')
        {
            const std::size_t n = Le16At(r.payload, 0);
            r.firstLine = Le16At(r.payload, 2);
            r.lineCount = Le16At(r.payload, 4);
            if (Le16At(r.payload, 6) != 2 || s.size() - at < n + 10)
            {
                error = "bad sub-band";
                return std::nullopt;
            }
            const auto decoded = Decode(Bytes(s.begin() + at, s.begin() + at + n), error);
            if (!decoded)
                return std::nullopt;
            r.data = decoded->data;
            at += n;
            if (!std::all_of(s.begin() + at, s.begin() + at + 10, [](std::uint8_t b) { return b == 0; }))
            {
                error = "sub-band not closed by ten zeros";
                return std::nullopt;
            }
            at += 10;
        }
        out.push_back(std::move(r));
    }
    return out;
}

// The record types in order, as a string: ",&( !\"\"#'".
inline std::string Types(const std::vector<Record>& records)
{
    std::string t;
    for (const auto& r : records)
        t += r.type;
    return t;
}

// The 1-bit page image of each page: its lines in the order sent, each `bytesPerLine` long, taken from
// the page header. Fails when a sub-band's lines do not follow on or its bytes do not fill its lines.
struct PageImageBits
{
    std::uint16_t bytesPerLine = 0;
    std::vector<Bytes> lines;

    bool Dot(std::size_t x, std::size_t y) const
    {
        return y < lines.size() && x / 8 < lines[y].size() && ((lines[y][x / 8] >> (7 - x % 8)) & 1);
    }
};

inline std::optional<std::vector<PageImageBits>> Pages(const std::vector<Record>& records, std::string& error)
{
    std::vector<PageImageBits> pages;
    for (const auto& r : records)
    {
        if (r.type == '!')
            pages.push_back(PageImageBits{Le16At(r.payload, 10), {}});
        if (r.type != '"')
            continue;
        if (pages.empty() || r.firstLine != pages.back().lines.size() ||
            r.data.size() != std::size_t{r.lineCount} * pages.back().bytesPerLine)
        {
            error = "sub-band out of place";
            return std::nullopt;
        }
        auto& page = pages.back();
        for (std::size_t i = 0; i < r.lineCount; ++i)
            page.lines.emplace_back(r.data.begin() + i * page.bytesPerLine,
                                    r.data.begin() + (i + 1) * page.bytesPerLine);
    }
    return pages;
}

} // namespace streamtest
