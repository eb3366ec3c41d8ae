// The page and band flow of a PDEV: the page geometry fixed at creation, the image cut from the drawn
// page, and the sending of one band as 1-bit lines in sub-bands.
#pragma once

#include "pdev.h"

#include <cstdint>
#include <span>

namespace velmoq7
{

// The record values of the page from the settings and the PDEV.
render::PageSettings PageSettingsOf(const velmo::SelfDMode& s);
render::PageTableValues PageTableValuesOf(const velmo::SelfDMode& s);
render::PageDeviceValues PageDeviceValuesOf(const PDev& pdev);

// The image line length and count, and where they start in the drawn page.
PageImage ComputePageImage(const PDev& pdev);

// Bands in the order they are drawn and sent: index `sent` of the page's bands.
const BandRect& BandInSendOrder(const PDev& pdev, LONG sent);

// Converts and sends one drawn band; false once the job cannot go on.
BOOL _UdgSendPageMemory(PDev& pdev, const SURFOBJ& surface, const BandRect& band);

// What the band flow needs of the line conversion: one drawn line (24-bit pixels from its first
// printable pixel) into one 1-bit image line. `lineNumber` is the line's number in the page image as
// the band code hands it in.
class LineConverter
{
public:
    explicit LineConverter(PDev& pdev);
    // False when the line is blank and need not be converted.
    bool NeedsConversion(std::span<const std::uint8_t> line24, int pixels) const;
    bool Convert(std::span<const std::uint8_t> line24, int pixels, int lineNumber,
                 std::span<std::uint8_t> out);
    // Turns a converted line end for end (the page sent bottom up turns by 180 degrees).
    void Mirror(std::span<std::uint8_t> line) const;

private:
    PDev& m_pdev;
};

} // namespace velmoq7
