#include "bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace uninstall
{
namespace
{
constexpr size_t kFileHeader = 14;
constexpr size_t kMaxFile = 64u << 20;

uint32_t U32(std::string_view s, size_t at)
{
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

uint16_t U16(std::string_view s, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1])
                                                                         << 8);
}
} // namespace

std::optional<ParsedBitmap> ParseBitmapFile(std::string_view file)
{
    if (file.size() < kFileHeader + sizeof(BITMAPINFOHEADER) || file.size() > kMaxFile || file[0] != 'B' ||
        file[1] != 'M')
        return std::nullopt;
    std::string_view dib = file.substr(kFileHeader);
    uint32_t headerSize = U32(dib, 0);
    int32_t width = static_cast<int32_t>(U32(dib, 4));
    int32_t height = static_cast<int32_t>(U32(dib, 8));
    uint16_t bits = U16(dib, 14);
    uint32_t compression = U32(dib, 16);
    uint32_t used = U32(dib, 32);
    if (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > dib.size() || compression != BI_RGB)
        return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return std::nullopt;
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return std::nullopt;
    uint64_t colours = used ? used : (bits == 24 ? 0 : (1u << bits));
    if ((bits <= 8 && colours > (1u << bits)) || colours > 256)
        return std::nullopt;
    uint64_t paletteEnd = static_cast<uint64_t>(headerSize) + colours * sizeof(RGBQUAD);
    uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    uint64_t rows =
        height < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(height)) : static_cast<uint64_t>(height);
    if (paletteEnd > dib.size() || stride * rows > dib.size() - paletteEnd)
        return std::nullopt;
    ParsedBitmap parsed;
    parsed.dib = std::string(dib);
    parsed.bitsOffset = static_cast<size_t>(paletteEnd);
    parsed.colours = static_cast<UINT>(colours);
    return parsed;
}

bool LoadWizardBitmap(const char* path, WizardBitmap& out)
{
    out = WizardBitmap{};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxFile;
    if (ok)
    {
        bytes.resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, bytes.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    auto parsed = ok ? ParseBitmapFile(bytes) : std::nullopt;
    if (!parsed)
        return false;
    out.bytes = std::move(parsed->dib);
    out.bitsOffset = parsed->bitsOffset;
    if (parsed->colours > 0)
    {
        // A LOGPALETTE holds its first entry; the rest follow it.
        std::vector<BYTE> buffer(sizeof(LOGPALETTE) + parsed->colours * sizeof(PALETTEENTRY));
        auto* palette = reinterpret_cast<LOGPALETTE*>(buffer.data());
        palette->palVersion = 0x300;
        palette->palNumEntries = static_cast<WORD>(parsed->colours);
        auto* entries = reinterpret_cast<PALETTEENTRY*>(buffer.data() + offsetof(LOGPALETTE, palPalEntry));
        size_t colours = U32(out.bytes, 0);
        for (UINT i = 0; i < parsed->colours; ++i)
        {
            size_t at = colours + i * sizeof(RGBQUAD);
            entries[i] =
                PALETTEENTRY{static_cast<BYTE>(out.bytes[at + 2]), static_cast<BYTE>(out.bytes[at + 1]),
                             static_cast<BYTE>(out.bytes[at]), 0};
        }
        out.palette = CreatePalette(palette);
    }
    return true;
}

void FreeWizardBitmap(WizardBitmap& bitmap)
{
    if (bitmap.palette)
        DeleteObject(bitmap.palette);
    bitmap = WizardBitmap{};
}

} // namespace uninstall
