// The band flow's use of the line conversion: its context filled from the PDEV's settings, and the
// PDEV's buffers as its gray line and error rows.
#include "halftone.h"
#include "page_flow.h"

#include <algorithm>

namespace velmoq7
{
namespace
{
HalftoneContext ContextOf(const PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    const velmo::ResolutionRow& reso = velmo::ResolutionOf(s);
    HalftoneContext c;
    c.resolutionType = s.resolutionType;
    c.xDpi = reso.x;
    c.yDpi = reso.y;
    c.documentType = s.documentType;
    c.halftoneOn = s.halftoneOn;
    c.ditherIndex = s.ditherIndex;
    c.OrderedDitherMethod = s.OrderedDitherMethod;
    c.ErrorDiffusionMethod = s.ErrorDiffusionMethod;
    c.colorSeparation = s.colorSeparation;
    c.ProcessingMethodForColorSeparation = s.ProcessingMethodForColorSeparation;
    c.separationInvert = s.separationInvert;
    c.separationColors = s.separationColors;
    c.swingValue = static_cast<int>(s.swingValue);
    c.densityAdjust = s.densityAdjust;
    c.ProcessingMethodForDensity = s.ProcessingMethodForDensity;
    c.contrastAdjust = s.contrastAdjust;
    c.grayShiftOn = s.grayShiftOn;
    c.grayShift = s.grayShift;
    c.linesCountUp = pdev.band.code != kBandBottomUp;
    return c;
}

} // namespace

LineConverter::LineConverter(PDev& pdev) : m_pdev(pdev) {}

bool LineConverter::NeedsConversion(std::span<const std::uint8_t> line24, int pixels) const
{
    // Error diffusion carries its errors through every line, blank or not.
    if (m_pdev.settings->ditherIndex == 3)
        return true;
    const int bytes = pixels * 3;
    return CheckNullLine(line24, 0, bytes / 8, bytes % 8) != 0;
}

bool LineConverter::Convert(std::span<const std::uint8_t> line24, int pixels, int lineNumber,
                            std::span<std::uint8_t> out)
{
    const HalftoneContext ctx = ContextOf(m_pdev);
    std::span<std::uint16_t> gray(reinterpret_cast<std::uint16_t*>(m_pdev.userBuffers[0] + kGrayLineOffset),
                                  kMaxGrayPixels);
    const int grayPixels = Convert24ToGrayPageForwardVelmo(ctx, gray, line24, pixels, 0);
    if (grayPixels < 0)
        return false;
    // The image line's bytes follow its width shrunk and rounded down; an odd last gray pixel may lie past
    // them and is dropped rather than failing the line.
    const int pixelsOut =
        static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(grayPixels), out.size() * 8));
    const ErrorRows rows = ErrorRowsIn(std::span<std::byte>(
        reinterpret_cast<std::byte*>(m_pdev.userBuffers[1]), m_pdev.device.userBufferSizes[1]));
    return ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, pixelsOut, lineNumber, pixelsOut / 16,
                                          pixelsOut % 16, rows.row1, rows.row2, rows.row3,
                                          static_cast<int>(m_pdev.flow.image.lineCount));
}

void LineConverter::Mirror(std::span<std::uint8_t> line) const
{
    FilpLineData(line);
}

} // namespace velmoq7
