// The few graphics objects the setup menu makes: fonts (kept as their LOGFONTW), bitmaps read from
// files (kept as their size and depth), and the screen's device context. A minimal table of its own
// until the shared one of the desktop's graphics objects takes these over.
#include "core/internal.h"
#include "core/state.h"

#include <cstring>
#include <map>
#include <variant>

namespace sim::detail
{
namespace
{
struct Objects : PartBase
{
    std::map<HGDIOBJ, std::variant<LOGFONTW, BITMAP>> objects;
    ULONG_PTR next = 0x90010;
};

Objects& objects()
{
    return Part<Objects>();
}

HGDIOBJ Add(std::variant<LOGFONTW, BITMAP> object)
{
    std::lock_guard g(StateLock());
    auto handle = reinterpret_cast<HGDIOBJ>(objects().next);
    objects().next += 4;
    objects().objects.emplace(handle, object);
    return handle;
}

const HDC kScreenDc = reinterpret_cast<HDC>(static_cast<ULONG_PTR>(0x81010));

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
    return static_cast<HBITMAP>(Add(bitmap));
}
} // namespace sim::detail

using namespace sim::detail;

HDC WINAPI GetDC(HWND)
{
    return kScreenDc;
}

int WINAPI ReleaseDC(HWND, HDC dc)
{
    return dc == kScreenDc ? 1 : 0;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font)
{
    if (!font)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return static_cast<HFONT>(Add(*font));
}

int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer)
{
    std::lock_guard g(StateLock());
    auto it = objects().objects.find(object);
    if (it == objects().objects.end())
        return 0;
    return std::visit(
        [&](const auto& value) -> int {
            int needed = static_cast<int>(sizeof value);
            if (!buffer)
                return needed;
            if (size < needed)
                return 0;
            std::memcpy(buffer, &value, sizeof value);
            return needed;
        },
        it->second);
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    std::lock_guard g(StateLock());
    return objects().objects.erase(object) ? TRUE : FALSE;
}
