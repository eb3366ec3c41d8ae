// Any bytes as a print file: scan it, decode every page it lists and lay each on its sheet as a bitmap.
#include "page_render.h"
#include "print_scan.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace printfile;
    MemoryByteView file(std::span<const BYTE>(data, size));
    std::vector<CPrintTicket> pages;
    ScanPrintFile(pages, file);
    const RenderLimits limits{uint64_t{16} << 20};
    for (const CPrintTicket& page : pages)
    {
        std::vector<BandEntry> bands;
        if (CollectBands(file, page.dataOffset, bands) != RenderError::None)
            continue;
        PageImage image;
        if (DecodePageImage(page, bands, image, limits) != RenderError::None)
            continue;
        (void)CountBlackPixels(image.bits);
        Sheet sheet;
        if (ComposeSheet(page, image, sheet, limits) != RenderError::None)
            continue;
        size_t written = 0;
        const bool ok = EmitMonochromeBmp(
            [&](std::span<const BYTE> bytes) {
                written += bytes.size();
                return true;
            },
            sheet.bits, sheet.width, sheet.height, page.xDpi, page.yDpi);
        if (!ok || written != kBmpHeaderSize + sheet.bits.size())
            __builtin_trap(); // a sheet that was made must be written whole
    }
    return 0;
}
