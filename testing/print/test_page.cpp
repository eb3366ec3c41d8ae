#include <testing/test_page.h>

#include <algorithm>
#include <cmath>

namespace printtest
{

void SetHalftone(velmo::SelfDMode& s, Halftone method)
{
    s.halftoneOn = method == Halftone::LineArt ? 0 : 1;
    switch (method)
    {
    case Halftone::DitherA:
        s.documentTypeIndex = 2;
        break;
    case Halftone::DitherB:
        s.documentTypeIndex = 1;
        break;
    case Halftone::DitherC:
        s.documentTypeIndex = 0;
        break;
    case Halftone::Diffusion:
    case Halftone::DiffusionFourPoint:
        s.documentTypeIndex = 3;
        break;
    case Halftone::LineArt:
        break;
    }
}

LONG DiffusionKernel(Halftone method)
{
    return method == Halftone::DiffusionFourPoint ? 1 : 0;
}

namespace
{
// A photo-like picture: sky, sun, hills and a lake with soft shading and a little grain.
sim::Bitmap Landscape(LONG w, LONG h)
{
    sim::Bitmap b(w, h);
    unsigned grain = 12345;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
        {
            const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
            double r = 110 + 120 * fy, g = 160 + 80 * fy, bl = 250 - 30 * fy; // sky
            const double sun = std::hypot(fx - 0.72, fy - 0.25);
            if (sun < 0.09)
                r = 255, g = 235, bl = 150;
            else if (sun < 0.16)
            {
                const double k = (sun - 0.09) / 0.07;
                r = r * k + 255 * (1 - k), g = g * k + 220 * (1 - k), bl = bl * k + 170 * (1 - k);
            }
            const double hill = 0.55 + 0.08 * std::sin(fx * 7.0) + 0.04 * std::sin(fx * 19.0 + 1.0);
            if (fy > hill)
            {
                const double shade = 0.6 + 0.4 * std::cos(fx * 9.0 + fy * 4.0);
                r = 40 + 60 * shade, g = 90 + 90 * shade, bl = 40 + 30 * shade;
            }
            if (fy > 0.8)
            {
                const double wave = 0.5 + 0.5 * std::sin(fx * 60.0 + fy * 30.0);
                r = 30 + 40 * wave, g = 70 + 50 * wave, bl = 120 + 80 * wave;
            }
            grain = grain * 1103515245u + 12345u;
            const double n = static_cast<double>((grain >> 16) % 17) - 8.0;
            auto clamp = [&](double v) { return static_cast<BYTE>(std::clamp(v + n, 0.0, 255.0)); };
            b.Set(x, y, RGB(clamp(r), clamp(g), clamp(bl)));
        }
    return b;
}
} // namespace

void DrawTestPage(sim::PrintDC& dc, const std::string& caption)
{
    const SIZEL page = dc.PageSize();
    const LONG u = std::max<LONG>(1, page.cx / 200); // one layout unit, about 1 mm on A4
    const COLORREF black = RGB(0, 0, 0);
    dc.Rectangle({0, 0, page.cx, page.cy}, black, u / 2 + 1);

    dc.TextOut({8 * u, 8 * u}, u"Test page", black, std::max<LONG>(1, 2 * u));
    dc.TextOut({8 * u, 28 * u}, WString(caption.begin(), caption.end()), black, std::max<LONG>(1, u * 2 / 3));
    dc.TextOut({8 * u, 36 * u}, u"The quick brown fox jumps over the lazy dog 0123456789", black,
               std::max<LONG>(1, u / 2));

    // Rules of growing weight.
    for (LONG i = 0; i < 6; ++i)
    {
        const LONG y = 46 * u + i * 4 * u;
        dc.FillRect({8 * u, y, page.cx - 8 * u, y + std::max<LONG>(1, (i + 1) * u / 4)}, black);
    }

    // Boxes: solid, outlined, nested, a triangle and a fan of lines.
    const LONG top = 74 * u;
    dc.FillRect({8 * u, top, 38 * u, top + 30 * u}, black);
    dc.Rectangle({44 * u, top, 74 * u, top + 30 * u}, black, u);
    for (LONG i = 0; i < 5; ++i)
        dc.Rectangle({80 * u + i * 3 * u, top + i * 3 * u, 110 * u - i * 3 * u, top + 30 * u - i * 3 * u},
                     black, std::max<LONG>(1, u / 3));
    dc.Polygon({{116 * u, top + 30 * u}, {131 * u, top}, {146 * u, top + 30 * u}}, RGB(90, 90, 90));
    for (LONG i = 0; i <= 10; ++i)
        dc.LineTo({152 * u, top + 30 * u}, {192 * u, top + i * 3 * u}, black);

    // Gray: a smooth ramp and eleven steps from white to black.
    const LONG rampTop = 112 * u;
    sim::Bitmap ramp(256, 1);
    for (LONG x = 0; x < 256; ++x)
        ramp.Set(x, 0, RGB(255 - x, 255 - x, 255 - x));
    dc.StretchBlt({8 * u, rampTop, page.cx - 8 * u, rampTop + 12 * u}, ramp, {0, 0, 256, 1}, COLORONCOLOR);
    const LONG step = (page.cx - 16 * u) / 11;
    for (LONG i = 0; i < 11; ++i)
    {
        const BYTE v = static_cast<BYTE>(255 - i * 255 / 10);
        dc.FillRect({8 * u + i * step, rampTop + 14 * u, 8 * u + (i + 1) * step, rampTop + 24 * u},
                    RGB(v, v, v));
    }
    dc.Rectangle({8 * u, rampTop + 14 * u, 8 * u + 11 * step, rampTop + 24 * u}, black, 1);

    // A picture, as an application hands one over: a bitmap stretched onto the page.
    const LONG photoTop = rampTop + 30 * u;
    const LONG photoBottom = std::min(page.cy - 8 * u, photoTop + (page.cx - 16 * u) * 3 / 4);
    if (photoBottom > photoTop)
    {
        const sim::Bitmap photo = Landscape(480, 360);
        dc.StretchBlt({8 * u, photoTop, page.cx - 8 * u, photoBottom}, photo, {0, 0, 480, 360}, COLORONCOLOR);
        dc.Rectangle({8 * u, photoTop, page.cx - 8 * u, photoBottom}, black, 1);
    }
}

} // namespace printtest
