// One page of a print file as a 1-bit BMP of the whole sheet: the page's bands decoded into the page image,
// the image placed on a white sheet of the page's paper at its offsets.
#pragma once

#include "band_decoder.h"
#include "kgl_format.h"
#include "mapped_file.h"
#include "nothrow_array.h"
#include "print_ticket.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace printfile
{

struct BandEntry
{
    WORD length = 0;
    WORD firstLine = 0;
    WORD lineCount = 0;
    WORD encoding = 0;
    std::vector<BYTE> data;
};

namespace encoding
{
inline constexpr WORD Raw = kgl::kEncodingRaw;
inline constexpr WORD Coded = kgl::kEncodingCoded;
} // namespace encoding

enum class RenderError
{
    None,
    NoData, // the page's data lies outside the file, or no output was named
    NoBands,
    NoPageEnd,       // the page's records are cut off
    BandOutsidePage, // a band starts at or beyond the last line of the page image
    DamagedBand,     // a code block that does not decode, or decodes to more than its lines
    BadPageSize,     // no image size, no resolution, or no sheet
    TooLarge,        // the page image or the sheet exceeds the size limit
    OutOfMemory,
    CreateFailed, // the output file cannot be created
    WriteFailed,  // writing the output failed; the partial file was deleted
};

const char* DescribeRenderError(RenderError error);

struct RenderResult
{
    RenderError error = RenderError::None;
    uint64_t blackPixels = 0; // of the page image, clipped pixels included; valid once the image was decoded
    bool Written() const { return error == RenderError::None; }
};

struct RenderLimits
{
    uint64_t maxImageBytes = uint64_t{1} << 30; // for the page image and for the sheet each
};

struct PageImage
{
    size_t stride = 0;
    size_t lines = 0;
    NothrowArray<BYTE> bits; // top line first, most significant bit leftmost, 1 = black
};

struct Sheet
{
    uint32_t width = 0;
    uint32_t height = 0;
    size_t rowBytes = 0;
    NothrowArray<BYTE> bits; // top row first
};

// The bands from `dataOffset` up to the page end record.
RenderError CollectBands(IByteView& file, uint32_t dataOffset, std::vector<BandEntry>& bands);
RenderError DecodePageImage(const CPrintTicket& page, std::span<const BandEntry> bands, PageImage& image,
                            const RenderLimits& limits = {});
// Ones in the whole 32-bit words of `bytes`.
uint64_t CountBlackPixels(std::span<const BYTE> bytes);
RenderError ComposeSheet(const CPrintTicket& page, const PageImage& image, Sheet& sheet,
                         const RenderLimits& limits = {});

// The BMP file of a sheet in pieces; false as soon as the sink refuses one.
using ByteSink = std::function<bool(std::span<const BYTE>)>;
bool EmitMonochromeBmp(const ByteSink& sink, std::span<const BYTE> topDownBits, uint32_t width,
                       uint32_t height, int xDpi, int yDpi);

// The bitmap file before its rows: file header, information header and the two colours, little-endian fields
// at fixed offsets (the file header's words are not aligned, so none is a structure's member).
struct MonochromeBmpHeader
{
    BYTE type[2];
    BYTE fileSize[4];
    BYTE reserved[4];
    BYTE pixelOffset[4];
    BYTE infoSize[4];
    BYTE width[4];
    BYTE height[4]; // positive: rows bottom-up
    BYTE planes[2];
    BYTE bitsPerPixel[2];
    BYTE compression[4];
    BYTE imageSize[4];
    BYTE xPixelsPerMetre[4];
    BYTE yPixelsPerMetre[4];
    BYTE coloursUsed[4];
    BYTE coloursImportant[4];
    BYTE palette[2][4]; // white, black
};
static_assert(sizeof(MonochromeBmpHeader) == 62);
static_assert(offsetof(MonochromeBmpHeader, infoSize) == 14 && offsetof(MonochromeBmpHeader, width) == 18 &&
              offsetof(MonochromeBmpHeader, planes) == 26 &&
              offsetof(MonochromeBmpHeader, xPixelsPerMetre) == 38 &&
              offsetof(MonochromeBmpHeader, coloursUsed) == 46 &&
              offsetof(MonochromeBmpHeader, palette) == 54);
inline constexpr uint32_t kBmpHeaderSize = sizeof(MonochromeBmpHeader);
inline constexpr uint32_t kBmpInfoHeaderSize =
    offsetof(MonochromeBmpHeader, palette) - offsetof(MonochromeBmpHeader, infoSize);

// Creates (or replaces) the file; false, with no file left behind, when it cannot be written whole.
bool WriteMonochromeBmp(LPCWSTR path, std::span<const BYTE> topDownBits, uint32_t width, uint32_t height,
                        int xDpi, int yDpi);

RenderResult RenderPageToBmp(IByteView& file, const CPrintTicket& page, LPCWSTR path,
                             const RenderLimits& limits = {});
RenderResult RenderPageToBmp(CMemoryMappedFile& file, const CPrintTicket& page, LPCWSTR path);

} // namespace printfile
