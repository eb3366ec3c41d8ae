// Bitmaps read from files among the desktop's graphics objects: their size and depth as GetObjectW
// reports them, and their pixels so that blits draw them.
#include "core/internal.h"
#include "gdi/objects.h"
#include "gdi/raster.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace sim::detail
{
namespace
{
uint32_t Read32(std::string_view bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                 static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
}

uint16_t Read16(std::string_view bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// The pixels of an uncompressed file as 24-bit rows, top row first; white where the file cannot say
// (a compressed one, or an index past its colour table).
std::vector<BYTE> DecodePixels(std::string_view bytes, size_t infoAt, uint32_t infoSize, uint32_t offset,
                               LONG width, LONG rows, bool bottomUp, uint16_t bits, uint64_t stride)
{
    LONG outStride = PixelStride(width);
    std::vector<BYTE> out(static_cast<size_t>(outStride) * static_cast<size_t>(rows), 0xFF);
    uint32_t compression = Read32(bytes, infoAt + 16);
    if (compression != 0)
        return out;
    std::vector<COLORREF> table;
    if (bits <= 8)
    {
        uint32_t used = Read32(bytes, infoAt + 32);
        uint32_t count = used && used < (1u << bits) ? used : (1u << bits);
        size_t at = infoAt + infoSize;
        for (uint32_t i = 0; i < count && at + 4 * i + 3 < offset; ++i)
        {
            size_t e = at + 4 * i;
            table.push_back(RGB(static_cast<BYTE>(bytes[e + 2]), static_cast<BYTE>(bytes[e + 1]),
                                static_cast<BYTE>(bytes[e])));
        }
    }
    for (LONG y = 0; y < rows; ++y)
    {
        LONG fileRow = bottomUp ? rows - 1 - y : y;
        auto row =
            reinterpret_cast<const BYTE*>(bytes.data()) + offset + static_cast<size_t>(fileRow) * stride;
        BYTE* o = out.data() + static_cast<size_t>(y) * static_cast<size_t>(outStride);
        for (LONG x = 0; x < width; ++x, o += 3)
        {
            COLORREF c = RGB(255, 255, 255);
            switch (bits)
            {
            case 1:
            case 4:
            case 8: {
                LONG bit = x * bits;
                unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index < table.size())
                    c = table[index];
                break;
            }
            case 16: {
                unsigned v = static_cast<unsigned>(row[2 * x] | row[2 * x + 1] << 8);
                c = RGB((v >> 10 & 31) * 255 / 31, (v >> 5 & 31) * 255 / 31, (v & 31) * 255 / 31);
                break;
            }
            case 24:
                c = RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            default:
                c = RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            }
            o[0] = GetBValue(c);
            o[1] = GetGValue(c);
            o[2] = GetRValue(c);
        }
    }
    return out;
}
} // namespace

HBITMAP MakeBitmap(LONG width, LONG height, WORD bitsPerPixel, std::vector<BYTE> pixels)
{
    auto object = std::make_shared<Bitmap>();
    LONG widthBytes = static_cast<LONG>((static_cast<int64_t>(width) * bitsPerPixel + 15) / 16 * 2);
    object->bitmap = BITMAP{0, width, height, widthBytes, 1, bitsPerPixel, nullptr};
    if (pixels.empty())
        pixels.assign(static_cast<size_t>(PixelStride(width)) * static_cast<size_t>(height), 0xFF);
    object->pixels = std::move(pixels);
    return static_cast<HBITMAP>(AddGdiObject(object));
}

// A .bmp file's bitmap; null with ERROR_INVALID_DATA when the file is not a whole bitmap.
HBITMAP LoadBitmapFile(std::string_view bytes)
{
    constexpr size_t kFileHeader = 14;
    if (bytes.size() < kFileHeader + 40 || bytes.substr(0, 2) != "BM")
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    uint32_t offset = Read32(bytes, 10);
    uint32_t infoSize = Read32(bytes, kFileHeader);
    auto width = static_cast<int32_t>(Read32(bytes, kFileHeader + 4));
    auto height = static_cast<int32_t>(Read32(bytes, kFileHeader + 8));
    uint16_t planes = Read16(bytes, kFileHeader + 12);
    uint16_t bits = Read16(bytes, kFileHeader + 14);
    bool knownDepth = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (infoSize < 40 || width <= 0 || height == 0 || height == INT32_MIN || planes != 1 || !knownDepth ||
        width > 0x8000 || height > 0x8000 || height < -0x8000)
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    if (offset < kFileHeader + infoSize || offset + stride * rows > bytes.size())
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto object = std::make_shared<Bitmap>();
    object->bitmap = BITMAP{0, width, static_cast<LONG>(rows), static_cast<LONG>(stride), 1, bits, nullptr};
    object->pixels = DecodePixels(bytes, kFileHeader, infoSize, offset, width, static_cast<LONG>(rows),
                                  height > 0, bits, stride);
    return static_cast<HBITMAP>(AddGdiObject(object));
}
} // namespace sim::detail

namespace sim::detail
{
HBITMAP ScaledBitmap(HBITMAP bitmap, int cx, int cy)
{
    auto original = FindGdiObjectOf<Bitmap>(bitmap);
    if (!original || cx < 0 || cy < 0)
        return bitmap;
    LONG width = cx ? cx : original->bitmap.bmWidth;
    LONG height = cy ? cy : original->bitmap.bmHeight;
    if (width == original->bitmap.bmWidth && height == original->bitmap.bmHeight)
        return bitmap;
    std::vector<BYTE> pixels(static_cast<size_t>(PixelStride(width)) * static_cast<size_t>(height), 0xFF);
    raster::Surface to{width, height, PixelStride(width), pixels.data()};
    raster::Source from{original->bitmap.bmWidth, original->bitmap.bmHeight,
                        PixelStride(original->bitmap.bmWidth), original->pixels.data(), 24};
    raster::StretchBlt(to, RECTL{0, 0, width, height}, from,
                       RECTL{0, 0, original->bitmap.bmWidth, original->bitmap.bmHeight}, false,
                       raster::Clip::Whole(to));
    HBITMAP scaled = MakeBitmap(width, height, original->bitmap.bmBitsPixel, std::move(pixels));
    DeleteObject(bitmap);
    return scaled;
}
} // namespace sim::detail
