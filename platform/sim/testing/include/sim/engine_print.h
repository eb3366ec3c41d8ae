// An application printing through the engine: a device context on a printer whose calls reach the
// graphics DLL as the platform's own would. Drawing on a banding surface is recorded for the page and
// replayed for every band, moved to the band and clipped to it.
#pragma once

#include <sim/engine.h>
#include <sim/engine_draw.h>

#include <functional>
#include <memory>

namespace sim
{

class PrintDC
{
public:
    // Enable the PDEV, complete it, enable the surface; null when a step fails.
    static std::unique_ptr<PrintDC> Create(WStringView printerName, const DEVMODEW* devMode);
    ~PrintDC(); // disable the surface and the PDEV
    PrintDC(const PrintDC&) = delete;
    PrintDC& operator=(const PrintDC&) = delete;

    BOOL StartDoc(WStringView docName);
    BOOL StartPage();
    BOOL EndPage();
    BOOL EndDoc();
    // Between pages: a new PDEV for the new settings replaces the old one. The engine may enable the
    // new surface after the reset hook, once the old surface is gone, or before it, so that the driver
    // hands the job over between two live surfaces.
    enum class ResetOrder
    {
        SurfaceAfterReset,
        SurfaceBeforeReset,
    };
    BOOL ResetDC(const DEVMODEW* devMode, ResetOrder order = ResetOrder::SurfaceAfterReset);
    ULONG Escape(ULONG escape, ULONG inSize, const void* in, ULONG outSize, void* out);

    // Drawing in pixels of the printable area. A call that fails on the page's surface or in any band
    // fails the page.
    BOOL FillRect(const RECTL& rect, COLORREF color); // bit-block transfer, pattern copy
    BOOL Paint(const RECTL& area, COLORREF color);    // paint over a clip
    BOOL BitBlt(const RECTL& dst, const Bitmap& src, POINTL from, ROP4 rop = 0xCCCC);
    BOOL StretchBlt(const RECTL& dst, const Bitmap& src, const RECTL& from, ULONG mode);
    BOOL CopyBits(const RECTL& dst, const Bitmap& src, POINTL from);
    BOOL LineTo(POINTL a, POINTL b, COLORREF color);
    BOOL Polyline(std::vector<POINTL> points, COLORREF color, LONG width = 1);
    BOOL Rectangle(const RECTL& rect, COLORREF color, LONG width = 1); // the outline
    BOOL Polygon(std::vector<POINTL> points, COLORREF fill);
    BOOL TextOut(POINTL origin, WStringView text, COLORREF color, LONG scale = 1);

    const PrinterDC& Dc() const { return dc_; }
    SURFOBJ* Surface() const;
    SIZEL PageSize() const; // the printable area in pixels
    bool Banding() const;
    DWORD JobId() const { return jobId_; }

private:
    PrintDC(PrinterDC dc, WStringView printerName) : dc_(std::move(dc)), printerName_(printerName) {}
    using Op = std::function<BOOL(SURFOBJ* surface, POINTL origin, CLIPOBJ* clip)>;
    BOOL Draw(Op op);
    BOOL EndPageDrawing(); // the page sent or banded out
    BOOL Replay(SURFOBJ* surface, POINTL origin);
    template <typename F> F Hook(ULONG index, FLONG hookBit) const;

    PrinterDC dc_;
    WString printerName_;
    std::vector<Op> journal_;
    bool failed_ = false; // a drawing call failed on this page
    DWORD jobId_ = 0;
};

} // namespace sim
