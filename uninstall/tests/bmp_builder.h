// Bitmap files built byte by byte for the tests, with any header field set as a case needs.
#pragma once

#include <cstdint>
#include <string>

namespace uninstall::testing
{
struct BmpFields
{
    uint32_t headerSize = 40;
    int32_t width = 3;
    int32_t height = 2;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    int64_t paletteEntries = -1; // -1: as the bit count gives
    int64_t pixelBytes = -1;     // -1: stride x rows
};

inline void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string BuildBmp(const BmpFields& f)
{
    int64_t entries = f.paletteEntries >= 0 ? f.paletteEntries
                      : f.coloursUsed       ? f.coloursUsed
                      : f.bits <= 8         ? (int64_t{1} << f.bits)
                                            : 0;
    int64_t stride = (static_cast<int64_t>(f.width) * f.bits + 31) / 32 * 4;
    int64_t rows = f.height < 0 ? -static_cast<int64_t>(f.height) : f.height;
    int64_t pixels = f.pixelBytes >= 0 ? f.pixelBytes : stride * rows;
    std::string dib;
    Put32(dib, f.headerSize);
    Put32(dib, static_cast<uint32_t>(f.width));
    Put32(dib, static_cast<uint32_t>(f.height));
    dib += '\x01';
    dib += '\x00';
    dib += static_cast<char>(f.bits & 0xFF);
    dib += static_cast<char>(f.bits >> 8);
    Put32(dib, f.compression);
    Put32(dib, 0);
    Put32(dib, 2835);
    Put32(dib, 2835);
    Put32(dib, f.coloursUsed);
    Put32(dib, 0);
    if (f.headerSize > 40)
        dib.append(f.headerSize - 40, '\0');
    for (int64_t i = 0; i < entries; ++i)
        dib += std::string{static_cast<char>(i), static_cast<char>(i * 2), static_cast<char>(i * 3), 0};
    dib.append(static_cast<size_t>(pixels), '\x11');
    std::string file = "BM";
    Put32(file, static_cast<uint32_t>(14 + dib.size()));
    Put32(file, 0);
    Put32(file, 14 + f.headerSize + static_cast<uint32_t>(entries * 4));
    return file + dib;
}
} // namespace uninstall::testing
