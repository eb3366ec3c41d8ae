#include "page_render.h"

#include "kgl_records.h"

#include <platform/handles.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace printfile
{
namespace
{
constexpr uint32_t kRenderWindow = 32u << 20;
constexpr uint32_t kRenderRemapMargin = 1u << 20;

size_t StrideOf(int lineWidth)
{
    return ((static_cast<size_t>(lineWidth) + 31) >> 3) & ~size_t{3};
}

template <typename T> bool TryAssign(std::vector<T>& v, size_t n)
{
    try
    {
        v.assign(n, T{});
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

// Ors `bits` bits of `src` (from its first bit) into `dst` at bit `at`; nothing at or past dst + dstBytes.
// Whole source bytes go through loops without conditions, which the compiler runs 16 or 32 at a time;
// only the two ends take the checks. The loops step by a fixed block whose inner loop unrolls whole, so
// an instrumented build (the fuzzer's) tests the loop once a block rather than once a byte.
constexpr size_t kOrStep = 32;

void OrBits(BYTE* __restrict dst, size_t dstBytes, const BYTE* __restrict src, size_t at, size_t bits)
{
    if (bits == 0 || at / 8 >= dstBytes)
        return;
    const size_t whole = bits / 8, rest = bits % 8, shift = at % 8;
    const size_t count = whole + (rest ? 1 : 0);
    BYTE* d = dst + at / 8;
    const size_t room = dstBytes - at / 8;
    // Source byte i, the partial last one masked, zero beyond it.
    auto byteAt = [&](size_t i) -> unsigned {
        if (i < whole)
            return src[i];
        return i == whole && rest ? src[i] & (0xFF00u >> rest) & 0xFFu : 0u;
    };
    if (shift == 0)
    {
        const size_t n = std::min(whole, room);
        size_t i = 0;
        for (; n - i >= kOrStep; i += kOrStep)
            for (size_t k = 0; k < kOrStep; ++k)
                d[i + k] |= src[i + k];
        for (; i < n; ++i)
            d[i] |= src[i];
        if (rest && whole < room)
            d[whole] |= static_cast<BYTE>(byteAt(whole));
        return;
    }
    // Destination byte j takes the low bits of source byte j - 1 and the high bits of source byte j.
    d[0] |= static_cast<BYTE>(byteAt(0) >> shift);
    const size_t middle = std::min(whole, room);
    size_t j = 1;
    for (; middle > j && middle - j >= kOrStep; j += kOrStep)
        for (size_t k = 0; k < kOrStep; ++k)
            d[j + k] |= static_cast<BYTE>((src[j + k] >> shift) | (src[j + k - 1] << (8 - shift)));
    for (; j < middle; ++j)
        d[j] |= static_cast<BYTE>((src[j] >> shift) | (src[j - 1] << (8 - shift)));
    for (j = std::max<size_t>(1, middle); j <= count && j < room; ++j)
        d[j] |= static_cast<BYTE>((byteAt(j) >> shift) | (byteAt(j - 1) << (8 - shift)));
}
} // namespace

const char* DescribeRenderError(RenderError error)
{
    switch (error)
    {
    case RenderError::None:
        return "written";
    case RenderError::NoData:
        return "the page's data is not in the file";
    case RenderError::NoBands:
        return "the page has no bands";
    case RenderError::NoPageEnd:
        return "the page is cut off before its end";
    case RenderError::BandOutsidePage:
        return "a band lies outside the page image";
    case RenderError::DamagedBand:
        return "a band is damaged";
    case RenderError::BadPageSize:
        return "the page has no usable size or resolution";
    case RenderError::TooLarge:
        return "the page is too large to convert";
    case RenderError::OutOfMemory:
        return "not enough memory for the page";
    case RenderError::CreateFailed:
        return "the bitmap file cannot be created";
    case RenderError::WriteFailed:
        return "the bitmap file could not be written";
    }
    return "unknown error";
}

RenderError CollectBands(IByteView& file, uint32_t dataOffset, std::vector<BandEntry>& bands)
{
    bands.clear();
    const uint32_t size = file.Size();
    std::span<const BYTE> view = file.View(dataOffset, kRenderWindow);
    if (view.empty())
        return RenderError::NoData;
    uint32_t viewStart = dataOffset;
    uint32_t pos = dataOffset;
    while (pos < size)
    {
        uint64_t viewEnd = uint64_t{viewStart} + view.size();
        if (viewEnd < size && viewEnd - pos < kRenderRemapMargin)
        {
            view = file.View(pos, kRenderWindow);
            if (view.empty())
                return RenderError::NoData;
            viewStart = pos;
            viewEnd = uint64_t{viewStart} + view.size();
        }
        const std::span<const BYTE> ahead = view.subspan(pos - viewStart);
        if (!IsRecordHeader(ahead))
        {
            const void* esc = std::memchr(ahead.data() + 1, kgl::kEscapePrefix[0], ahead.size() - 1);
            pos = esc ? pos + static_cast<uint32_t>(static_cast<const BYTE*>(esc) - ahead.data())
                      : static_cast<uint32_t>(viewEnd);
            continue;
        }
        if (ahead.size() < kRecordHeaderSize)
            break;
        const kgl::RecordType type = RecordTypeAt(ahead);
        if (type == kgl::RecordType::PageEnd)
            return bands.empty() ? RenderError::NoBands : RenderError::None;
        const auto payload = PayloadSize(type, ahead.subspan(kRecordHeaderSize));
        if (!payload || ahead.size() - kRecordHeaderSize < *payload)
            break;
        if (type == kgl::RecordType::SubBand)
        {
            const BYTE* h = ahead.data() + kRecordHeaderSize;
            BandEntry& band = bands.emplace_back();
            band.length = ReadU16(h + offsetof(SubBandHeader, length));
            band.firstLine = ReadU16(h + offsetof(SubBandHeader, firstLine));
            band.lineCount = ReadU16(h + offsetof(SubBandHeader, lineCount));
            band.encoding = ReadU16(h + offsetof(SubBandHeader, encoding));
            if (!TryAssign(band.data, band.length))
                return RenderError::OutOfMemory;
            std::copy_n(h + kBandHeaderSize, band.length, band.data.begin());
        }
        pos += kRecordHeaderSize + *payload;
    }
    return RenderError::NoPageEnd;
}

RenderError DecodePageImage(const CPrintTicket& page, std::span<const BandEntry> bands, PageImage& image,
                            const RenderLimits& limits)
{
    if (page.lineWidth <= 0 || page.lineCount <= 0)
        return RenderError::BadPageSize;
    image.stride = StrideOf(page.lineWidth);
    image.lines = static_cast<size_t>(page.lineCount);
    const uint64_t size = uint64_t{image.stride} * image.lines;
    if (size > limits.maxImageBytes)
        return RenderError::TooLarge;
    if (!image.bits.Allocate(static_cast<size_t>(size)))
        return RenderError::OutOfMemory;

    BandDecoder decoder;
    for (const BandEntry& band : bands)
    {
        if (band.firstLine >= image.lines)
            return RenderError::BandOutsidePage;
        const size_t offset = band.firstLine * image.stride;
        const size_t room = image.bits.size() - offset;
        const std::span<BYTE> at(image.bits.data() + offset, room);
        if (band.encoding == encoding::Coded)
        {
            const size_t capacity = std::min<size_t>(room, size_t{band.lineCount} * image.stride);
            if (capacity == 0)
                continue;
            // Straight into the page image: a buffer of the band's size beside it would double the peak.
            const DecodeResult r = decoder.DecodeInPlace(band.data, at.first(capacity));
            if (r.status == DecodeStatus::OutOfMemory)
                return RenderError::OutOfMemory;
            if (r.status == DecodeStatus::Damaged || r.status == DecodeStatus::TooLong)
                return RenderError::DamagedBand;
        }
        else if (band.encoding == encoding::Raw)
        {
            const size_t n = std::min(band.data.size(), room);
            std::copy_n(band.data.begin(), n, at.begin());
        }
    }
    return RenderError::None;
}

namespace
{
// Without a population-count instruction in the baseline, std::popcount becomes a library call per
// word; on x86 the loop is built a second time for processors that have the instruction.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define RENDER_POPCNT_CLONE 1
#else
#define RENDER_POPCNT_CLONE 0
#endif

// Eight words to a step: the inner loop unrolls whole, so instrumented builds (the fuzzer's) pay for one
// loop test per 64 bytes rather than per word.
__attribute__((always_inline)) inline uint64_t CountWords(const BYTE* p, size_t words)
{
    uint64_t count = 0;
    size_t i = 0;
    for (; words - i >= 8; i += 8)
    {
        uint64_t w[8];
        std::memcpy(w, p + 8 * i, sizeof w);
        for (uint64_t v : w)
            count += static_cast<uint64_t>(std::popcount(v));
    }
    for (; i < words; ++i)
    {
        uint64_t w;
        std::memcpy(&w, p + 8 * i, 8);
        count += static_cast<uint64_t>(std::popcount(w));
    }
    return count;
}

uint64_t CountWordsBase(const BYTE* p, size_t words)
{
    return CountWords(p, words);
}

#if RENDER_POPCNT_CLONE
__attribute__((target("popcnt"))) uint64_t CountWordsPopcnt(const BYTE* p, size_t words)
{
    return CountWords(p, words);
}

const bool s_HasPopcnt = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") != 0;
}();
#endif
} // namespace

uint64_t CountBlackPixels(std::span<const BYTE> bytes)
{
    const size_t n = bytes.size() / 4 * 4;
    const size_t words = n / 8;
#if RENDER_POPCNT_CLONE
    uint64_t count =
        s_HasPopcnt ? CountWordsPopcnt(bytes.data(), words) : CountWordsBase(bytes.data(), words);
#else
    uint64_t count = CountWordsBase(bytes.data(), words);
#endif
    for (size_t i = words * 8; i < n; ++i)
        count += static_cast<uint64_t>(std::popcount(static_cast<unsigned>(bytes[i])));
    return count;
}

RenderError ComposeSheet(const CPrintTicket& page, const PageImage& image, Sheet& sheet,
                         const RenderLimits& limits)
{
    if (page.paperWidth <= 0 || page.paperHeight <= 0 || page.xDpi <= 0 || page.yDpi <= 0)
        return RenderError::BadPageSize;
    const uint64_t width = uint64_t(page.paperWidth) * uint64_t(page.xDpi) / 254;
    const uint64_t height = uint64_t(page.paperHeight) * uint64_t(page.yDpi) / 254;
    if (width == 0 || height == 0)
        return RenderError::BadPageSize;
    const uint64_t rowBytes = ((width + 31) >> 3) & ~uint64_t{3};
    const uint64_t size = rowBytes * height; // both below 2^31, no overflow
    if (size > limits.maxImageBytes || size > UINT32_MAX - kBmpHeaderSize)
        return RenderError::TooLarge;
    sheet.width = static_cast<uint32_t>(width);
    sheet.height = static_cast<uint32_t>(height);
    sheet.rowBytes = static_cast<size_t>(rowBytes);
    if (!sheet.bits.Allocate(static_cast<size_t>(size)))
        return RenderError::OutOfMemory;

    const size_t left = static_cast<size_t>(std::max(page.leftOffset, 0));
    const size_t top = static_cast<size_t>(std::max(page.topOffset, 0));
    if (left >= sheet.width || top >= sheet.height)
        return RenderError::None; // wholly clipped
    const size_t bits = std::min<size_t>(static_cast<size_t>(page.lineWidth), sheet.width - left);
    const size_t rows = std::min(image.lines, sheet.height - top);
    for (size_t y = 0; y < rows; ++y)
        OrBits(sheet.bits.data() + (top + y) * sheet.rowBytes, sheet.rowBytes,
               image.bits.data() + y * image.stride, left, bits);
    return RenderError::None;
}

bool EmitMonochromeBmp(const ByteSink& sink, std::span<const BYTE> topDownBits, uint32_t width,
                       uint32_t height, int xDpi, int yDpi)
{
    const size_t rowBytes = ((size_t{width} + 31) >> 3) & ~size_t{3};
    const uint64_t imageBytes = uint64_t{rowBytes} * height;
    if (imageBytes > topDownBits.size() || imageBytes > UINT32_MAX - kBmpHeaderSize || width > INT32_MAX ||
        height > INT32_MAX)
        return false;
    using H = MonochromeBmpHeader;
    BYTE header[kBmpHeaderSize] = {'B', 'M'};
    PutU32(header + offsetof(H, fileSize), static_cast<uint32_t>(imageBytes + kBmpHeaderSize));
    PutU32(header + offsetof(H, pixelOffset), kBmpHeaderSize);
    PutU32(header + offsetof(H, infoSize), kBmpInfoHeaderSize);
    PutU32(header + offsetof(H, width), width);
    PutU32(header + offsetof(H, height), height);
    PutU16(header + offsetof(H, planes), 1);
    PutU16(header + offsetof(H, bitsPerPixel), 1);
    PutU32(header + offsetof(H, xPixelsPerMetre), static_cast<uint32_t>(int64_t{xDpi} * 10000 / 254));
    PutU32(header + offsetof(H, yPixelsPerMetre), static_cast<uint32_t>(int64_t{yDpi} * 10000 / 254));
    PutU32(header + offsetof(H, coloursUsed), 2);
    PutU32(header + offsetof(H, palette), 0x00FFFFFF); // colour 0 white, colour 1 black
    if (!sink(header))
        return false;
    // Rows go bottom-up, gathered into pieces of about 1 MiB; without room for a piece, or for rows as
    // long as one, row by row.
    constexpr size_t kPieceBytes = size_t{1} << 20;
    const size_t perPiece = rowBytes ? std::max<size_t>(1, kPieceBytes / rowBytes) : 1;
    NothrowArray<BYTE> piece;
    const bool gather = perPiece > 1 && piece.Allocate(std::min<size_t>(perPiece, height) * rowBytes);
    for (uint32_t row = height; row > 0;)
    {
        if (!gather)
        {
            --row;
            if (!sink(topDownBits.subspan(size_t{row} * rowBytes, rowBytes)))
                return false;
            continue;
        }
        size_t used = 0;
        for (size_t n = 0; n < perPiece && row > 0; ++n, used += rowBytes)
        {
            --row;
            std::memcpy(piece.data() + used, topDownBits.data() + size_t{row} * rowBytes, rowBytes);
        }
        if (!sink(std::span<const BYTE>(piece.data(), used)))
            return false;
    }
    return true;
}

namespace
{
RenderError WriteBmpFile(LPCWSTR path, std::span<const BYTE> topDownBits, uint32_t width, uint32_t height,
                         int xDpi, int yDpi)
{
    if (!path)
        return RenderError::CreateFailed;
    platform::UniqueKernelHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return RenderError::CreateFailed;
    const bool ok = EmitMonochromeBmp(
        [&file](std::span<const BYTE> bytes) {
            DWORD written = 0;
            return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size();
        },
        topDownBits, width, height, xDpi, yDpi);
    const bool closed = CloseHandle(file.Release()); // a failed close may have lost the last bytes
    if (ok && closed)
        return RenderError::None;
    DeleteFileW(path); // a partial bitmap must not pass for a page
    return RenderError::WriteFailed;
}
} // namespace

bool WriteMonochromeBmp(LPCWSTR path, std::span<const BYTE> topDownBits, uint32_t width, uint32_t height,
                        int xDpi, int yDpi)
{
    return WriteBmpFile(path, topDownBits, width, height, xDpi, yDpi) == RenderError::None;
}

RenderResult RenderPageToBmp(IByteView& file, const CPrintTicket& page, LPCWSTR path,
                             const RenderLimits& limits)
{
    RenderResult result;
    if (file.Size() == 0 || !path)
        return {RenderError::NoData, 0};
    std::vector<BandEntry> bands;
    if ((result.error = CollectBands(file, page.dataOffset, bands)) != RenderError::None)
        return result;
    PageImage image;
    if ((result.error = DecodePageImage(page, bands, image, limits)) != RenderError::None)
        return result;
    bands.clear();
    result.blackPixels = CountBlackPixels(image.bits);
    Sheet sheet;
    if ((result.error = ComposeSheet(page, image, sheet, limits)) != RenderError::None)
        return result;
    image.bits.Reset();
    result.error = WriteBmpFile(path, sheet.bits, sheet.width, sheet.height, page.xDpi, page.yDpi);
    return result;
}

RenderResult RenderPageToBmp(CMemoryMappedFile& file, const CPrintTicket& page, LPCWSTR path)
{
    MappedFileByteView view(file);
    return RenderPageToBmp(view, page, path);
}

} // namespace printfile
