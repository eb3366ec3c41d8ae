#include "print_job.h"

#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>

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
    const WString driverName = Wide(options.model);
    printtest::InstallDuplicator(kPrinter, driverName.c_str());

    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, driverName.c_str());
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
    sim::files().Put(path, stream);
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
        const auto bytes = r.Written() ? sim::files().Bytes(bmp) : std::nullopt;
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
