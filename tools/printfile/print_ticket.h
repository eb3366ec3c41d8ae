// The page record: what a scan of a print file knows of one page.
#pragma once

#include <platform/windows.h>

#include <array>

namespace printfile
{

class CPrintTicket
{
public:
    virtual ~CPrintTicket() = default;

    int paperId = 0;
    int inchUnits = 0;
    int paperWidth = 0;  // 0.1 mm
    int paperHeight = 0; // 0.1 mm
    int lineWidth = 0;   // pixels: bytes per line x 8
    int lineCount = 0;
    int bin = 7;
    int angle = -1;
    int rotate180 = 0;
    int orientation = 1;
    int xDpi = 0;
    int yDpi = 0;
    int copies = 1;
    int sets = 1;
    int duplexMode = 1;
    int backSide = 0;
    int layoutMode = 1;
    int layoutHigh = 1;
    int layoutLow = 1;
    int reserved = 1;
    int leftOffset = 0;
    int topOffset = 0;
    int rightMargin = 0;
    int bottomMargin = 0;
    DWORD dataOffset = 0;
    std::array<BYTE, 5> rawOptions{};
    std::array<BYTE, 26> rawLayout{};
    std::array<BYTE, 20> rawReserved{};
    WORD rawExtra = 0;
    std::array<BYTE, 26> rawHeader{};
};

} // namespace printfile
