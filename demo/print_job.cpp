#include "print_job.h"

#include <sim/machine.h>
#include <sim/spooler.h>

#include "mapped_file.h"
#include "page_render.h"
#include "pdev.h"
#include "print_scan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>

namespace demo
{
namespace
{
const WCHAR* kPrinter = u"KORIGRAPH on LPT1";

WString Wide(const std::string& s)
{
    return WString(s.begin(), s.end());
}

std::string Narrow(const WCHAR* s)
{
    std::string out;
    for (; *s; ++s)
        out.push_back(*s < 0x80 ? static_cast<char>(*s) : '?');
    return out;
}

const velmo::ModelRow* FindModel(const std::string& name)
{
    for (const velmo::ModelRow& m : velmo::Models())
        if (Narrow(m.name) == name)
            return &m;
    return nullptr;
}

LONG DpiOf(const velmo::ModelRow& m)
{
    return velmo::g_ResolutionList[velmo::VelmoGetDevResoIndex(m.resolutionKey)].x;
}

// A paper of the model's list by the first word of its name ("A4", "letter").
std::optional<LONG> FindPaper(const velmo::ModelRow& m, const std::string& name)
{
    for (const velmo::PaperRow& p : velmo::PaperList(m.paperListType))
    {
        std::string word = Narrow(p.name);
        word = word.substr(0, word.find_first_of(" ("));
        if (word.size() == name.size() &&
            std::equal(word.begin(), word.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return p.id;
    }
    return std::nullopt;
}

std::string PaperNames(const velmo::ModelRow& m)
{
    std::string out;
    for (const velmo::PaperRow& p : velmo::PaperList(m.paperListType))
    {
        std::string word = Narrow(p.name);
        word = word.substr(0, word.find_first_of(" ("));
        if (word.empty() || word == "Custom")
            continue;
        out += (out.empty() ? "" : ", ") + word;
    }
    return out;
}
} // namespace

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

std::string ModelList()
{
    std::string out;
    for (const velmo::ModelRow& m : velmo::Models())
        out += "  " + Narrow(m.name) + " (" + std::to_string(DpiOf(m)) + " dpi)\n";
    return out;
}

JobResult RunJob(const JobOptions& options)
{
    JobResult result;
    const velmo::ModelRow* model = FindModel(options.model);
    if (!model)
    {
        result.error = "unknown model \"" + options.model + "\"; the models are:\n" + ModelList();
        return result;
    }
    const auto paper = FindPaper(*model, options.paper);
    if (!paper)
    {
        result.error =
            options.model + " has no paper \"" + options.paper + "\"; it takes " + PaperNames(*model);
        return result;
    }
    result.dpi = DpiOf(*model);
    if (options.dpi != 0 && options.dpi != result.dpi)
    {
        result.error = options.model + " prints at " + std::to_string(result.dpi) +
                       " dpi only; the models are:\n" + ModelList();
        return result;
    }

    auto& machine = sim::machine();
    machine.Reset();
    sim::PrinterSetup printer;
    printer.name = kPrinter;
    printer.driverName = Wide(options.model);
    printer.driverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL";
    sim::spooler().AddPrinter(printer);

    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, printer.driverName.c_str());
    s.dm.dmPaperSize = static_cast<short>(*paper);
    s.dm.dmOrientation = options.orientation;
    s.zoom = options.zoom;
    s.rotate = options.rotate ? 1 : 0;
    SetHalftone(s, options.halftone);
    const LONG kernel = DiffusionKernel(options.halftone);
    sim::engine().OnPdevEnabled([kernel](DHPDEV d) {
        if (auto* pdev = velmoq7::CfgQueryMyDeviceQuiet(d))
            pdev->settings->ErrorDiffusionMethod = kernel;
    });

    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    if (!dc)
    {
        result.error = "the driver refused the device context (error " + std::to_string(GetLastError()) + ")";
        return result;
    }
    result.drawn = dc->PageSize();
    result.banded = dc->Banding();
    const std::string caption =
        options.model + ", " + options.paper + ", " + std::to_string(result.dpi) + " dpi";
    bool ok = dc->StartDoc(u"Test page");
    for (int page = 0; ok && page < std::max(options.pages, 1); ++page)
    {
        ok = dc->StartPage();
        if (!ok)
            break;
        if (options.image)
            DrawImage(*dc, *options.image);
        else
            DrawTestPage(*dc, caption);
        ok = dc->EndPage();
    }
    ok = dc->EndDoc() && ok;
    dc.reset();
    if (!ok)
        result.error = "the print job failed (error " + std::to_string(GetLastError()) + ")";
    result.stream = sim::spooler().Output(kPrinter);
    machine.Reset();
    return result;
}

PageBitmaps RenderPages(const std::string& stream)
{
    PageBitmaps out;
    auto& machine = sim::machine();
    machine.Reset();
    const WString path = u"C:\\Jobs\\job.kgl";
    machine.PutFile(path, stream);
    printfile::CMemoryMappedFile file;
    std::vector<printfile::CPrintTicket> pages;
    if (stream.empty())
        out.error = "the print file is empty"; // a job the driver refused writes nothing
    else if (!file.Open(path.c_str()))
        out.error = "the print file cannot be opened (error " + std::to_string(GetLastError()) + ")";
    else if (printfile::ScanPrintFile(pages, file) == 0)
        out.error = "the print file holds no page";
    for (size_t i = 0; out.error.empty() && i < pages.size(); ++i)
    {
        const std::string name = "C:\\Jobs\\page" + std::to_string(i + 1) + ".bmp";
        const WString bmp = Wide(name);
        const printfile::RenderResult r = printfile::RenderPageToBmp(file, pages[i], bmp.c_str());
        const auto bytes = r.Written() ? machine.FileBytes(bmp) : std::nullopt;
        if (!bytes)
        {
            out.error = "page " + std::to_string(i + 1) +
                        " cannot be rendered: " + printfile::DescribeRenderError(r.error);
            out.bitmaps.clear();
            break;
        }
        out.bitmaps.push_back(*bytes);
        DeleteFileW(bmp.c_str()); // a big job's sheets need not all lie in the sandbox at once
    }
    file.Close();
    machine.Reset();
    return out;
}

namespace
{
bool WriteWhole(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (f)
        return true;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return false;
}
} // namespace

SavedJob SaveJob(const std::string& stream, const std::filesystem::path& folder, const std::string& stem)
{
    SavedJob saved;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    saved.printFile = folder / (stem + ".kgl");
    if (!WriteWhole(saved.printFile, stream))
    {
        saved.error = "cannot write " + saved.printFile.string();
        return saved;
    }
    const PageBitmaps pages = RenderPages(stream);
    if (!pages.error.empty())
    {
        saved.error = saved.printFile.string() + ": " + pages.error;
        return saved;
    }
    for (size_t i = 0; i < pages.bitmaps.size(); ++i)
    {
        const auto path = folder / (stem + "-page" + std::to_string(i + 1) + ".bmp");
        if (!WriteWhole(path, pages.bitmaps[i]))
        {
            saved.error = "cannot write " + path.string();
            return saved;
        }
        saved.bitmaps.push_back(path);
    }
    return saved;
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

void DrawImage(sim::PrintDC& dc, const Image& image)
{
    const SIZEL page = dc.PageSize();
    sim::Bitmap bitmap(image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
        {
            const std::uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            bitmap.Set(x, y, RGB(p[0], p[1], p[2]));
        }
    // As large as the page allows, keeping the picture's proportions, centred.
    const double scale =
        std::min(static_cast<double>(page.cx) / image.width, static_cast<double>(page.cy) / image.height);
    const LONG w = std::max<LONG>(1, static_cast<LONG>(image.width * scale));
    const LONG h = std::max<LONG>(1, static_cast<LONG>(image.height * scale));
    const LONG x = (page.cx - w) / 2, y = (page.cy - h) / 2;
    dc.StretchBlt({x, y, x + w, y + h}, bitmap, {0, 0, image.width, image.height}, COLORONCOLOR);
}

} // namespace demo
