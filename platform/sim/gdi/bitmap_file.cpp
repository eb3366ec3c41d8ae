// Bitmaps read from files (kept as their size and depth) among the desktop's graphics objects.
#include "core/internal.h"
#include "gdi/objects.h"

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
} // namespace

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
    BITMAP bitmap{0, width, static_cast<LONG>(rows), static_cast<LONG>(stride), 1, bits, nullptr};
    auto object = std::make_shared<Bitmap>();
    object->bitmap = bitmap;
    return static_cast<HBITMAP>(AddGdiObject(object));
}
} // namespace sim::detail
