// The Linux figures the Wine stage holds the Windows build's answers against, printed as the drivers
// print them under Wine:
//   velmo-wine-figures driver                  what DrvQueryDriverInfo and DrvEnableDriver answer
//   velmo-wine-figures geometry <model>        the page geometry of a PDEV for the model's defaults
//   velmo-wine-figures save <file> <page>      the box saving a page with Shift+Ctrl shows (coverage or
//   error)
//   velmo-wine-figures first-box <program> [arguments]  the first message box a program started alone in
//                                              a folder shows, and its exit code
//   velmo-wine-figures setup-text <language> <id>       a text of the setup program's tables
//   velmo-wine-figures menu [language]         the menu's texts, on its top page and its manual page
#include <sim/desktop.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include "enable.h"
#include "kgl2bmp_texts.h"
#include "mapped_file.h"
#include "page_render.h"
#include "pdev_geometry.h"
#include "print_scan.h"
#include "message_table.h"
#include "settings.h"

#include <fstream>
#include <iterator>
#include <string>

namespace
{
WString Wide(const std::string& text)
{
    return WString(text.begin(), text.end());
}

// The box's text as the UI driver prints it: UTF-8, line breaks shown as "\n".
std::string OneLine(const WString& text)
{
    std::string out;
    for (char16_t c : text)
    {
        if (c == u'\r')
            continue;
        if (c == u'\n')
            out += "\\n";
        else if (c < 0x80)
            out += static_cast<char>(c);
        else if (c < 0x800)
        {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int Geometry(const std::string& model)
{
    const WString driver = Wide(model);
    const WString printer = u"Wine stage";
    sim::PrinterSetup setup;
    setup.name = printer;
    setup.driverName = driver;
    setup.driverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL";
    sim::spooler().AddPrinter(setup);
    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, printer.c_str(), driver.c_str());
    auto dc = sim::engine().CreateDC(printer.c_str(), &s.dm);
    if (!dc)
    {
        std::fprintf(stderr, "the driver refused the device context (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    drive::PrintGeometry(dc->gdiInfo);
    sim::engine().DeleteDC(*dc);
    return 0;
}

int Driver()
{
    DRVENABLEDATA data{};
    if (!velmoq7::DrvEnableDriver(drive::kEngineVersion, sizeof data, &data))
        return 1;
    DWORD userMode = 0, needed = 0;
    const BOOL queried = velmoq7::DrvQueryDriverInfo(DRVQUERY_USERMODE, &userMode, sizeof userMode, &needed);
    std::printf("user mode: %d %lu\n", queried, static_cast<unsigned long>(userMode));
    std::printf("driver version 0x%lx, %lu hooks\n", static_cast<unsigned long>(data.iDriverVersion),
                static_cast<unsigned long>(data.c));
    return 0;
}

int Save(const std::string& printFile, int pageNumber)
{
    std::ifstream in(printFile, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const WString path = u"C:\\Jobs\\job.kgl";
    sim::files().Put(path, bytes);
    printfile::CMemoryMappedFile file;
    std::vector<printfile::CPrintTicket> pages;
    if (!file.Open(path.c_str()) || printfile::ScanPrintFile(pages, file) < pageNumber || pageNumber < 1)
    {
        std::fprintf(stderr, "%s has no page %d\n", printFile.c_str(), pageNumber);
        return 1;
    }
    const printfile::CPrintTicket& page = pages[static_cast<size_t>(pageNumber - 1)];
    const printfile::RenderResult r = printfile::RenderPageToBmp(file, page, u"C:\\Jobs\\page.bmp");
    if (!r.Written())
    {
        std::printf("box: %s\n", OneLine(kgl2bmp::SaveErrorText(kgl2bmp::kEnglish, r.error)).c_str());
        return 0;
    }
    // The sheet's extent as the converter's dialog takes it: tenths of a millimetre at the page's dpi.
    const auto extent = [](int tenthsOfMm, int dpi) {
        return tenthsOfMm > 0 && dpi > 0 ? uint64_t(tenthsOfMm) * uint64_t(dpi) / 254 : uint64_t{0};
    };
    const WString text =
        kgl2bmp::CoverageText(kgl2bmp::kEnglish, r.blackPixels, extent(page.paperWidth, page.xDpi),
                              extent(page.paperHeight, page.yDpi));
    std::printf("box: %s\n", OneLine(text).c_str());
    file.Close();
    return 0;
}

int HelperBox(LANGID language)
{
    auto& d = sim::desktop();
    d.SetUiLanguage(language);
    bool shown = false;
    d.Run(u"C:\\Program Files\\Velmo\\VelmoPrintToFile.exe", u"Local\\none", [&] {
        if (auto box = d.MessageBox())
        {
            std::printf("caption: %s\nbox: %s\n", OneLine(box->caption).c_str(), OneLine(box->text).c_str());
            shown = true;
            d.AnswerMessageBox(IDOK);
        }
    });
    return shown ? 0 : 1;
}

// The program alone in C:\Package, started with nothing installed: its first box, answered with OK.
int FirstBox(const std::string& program, const std::string& arguments)
{
    auto& d = sim::desktop();
    const WString path = u"C:\\Package\\" + Wide(program);
    sim::files().Put(path, "program");
    // The browser version a Wine prefix and a current Windows report.
    const WString version = u"9.11.9600.18376";
    for (sim::RegistryView view : {sim::RegistryView::Native, sim::RegistryView::Wow32})
        sim::registry().SetValue(
            HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer", u"Version", REG_SZ,
            {reinterpret_cast<const BYTE*>(version.c_str()), (version.size() + 1) * sizeof(WCHAR)}, view);
    bool shown = false;
    const DWORD exit = d.Run(path, Wide(arguments), [&] {
        if (auto box = d.MessageBox(); box && !shown)
        {
            std::printf("caption: %s\nbox: %s\n", OneLine(box->caption).c_str(), OneLine(box->text).c_str());
            shown = true;
            d.AnswerMessageBox(IDOK);
        }
    });
    std::printf("exit: %lu\n", static_cast<unsigned long>(exit));
    return shown ? 0 : 1;
}

int SetupText(UINT language, int id)
{
    const std::vector<kgsetup::MessageTableEntry> tables = kgsetup::LoadMessageTables();
    const kgsetup::MessageTable* table = kgsetup::ChooseMessageTable(tables, language);
    if (!table)
        return 1;
    std::printf("%s\n", OneLine(table->Text(id)).c_str());
    return 0;
}

// The menu's title and buttons on its top page, then on the manual page, printed as the UI driver's
// "print" steps print them, for a user of that language.
int Menu(LANGID language)
{
    auto& d = sim::desktop();
    d.SetUiLanguage(language);
    d.SetUserLanguage(language);
    const WString path = u"C:\\Package\\Menu.exe";
    sim::files().Put(path, "program");
    bool done = false;
    const auto print = [&](HWND page, const char* which) {
        std::printf("page %s: %s\n", which, OneLine(d.Text(page)).c_str());
        for (int id : {1110, 1100, 1101})
            std::printf("text %d: %s\n", id, OneLine(d.Text(d.Control(page, id))).c_str());
    };
    d.Run(path, u"", [&] {
        HWND top = d.TopWindow();
        if (!top || done)
            return;
        print(top, "top");
        d.Click(d.Control(top, 1100));
        HWND manual = d.TopWindow();
        if (manual && manual != top)
            print(manual, "manual");
        d.Close(manual ? manual : top);
        done = true;
    });
    return done ? 0 : 1;
}

int Run(const std::string& what, int argc, char** argv)
{
    if (what == "driver" && argc == 2)
        return Driver();
    if (what == "geometry" && argc == 3)
        return Geometry(argv[2]);
    if (what == "helper-box" && argc == 3)
        return HelperBox(static_cast<LANGID>(std::strtoul(argv[2], nullptr, 0)));
    if (what == "save" && argc == 4)
        return Save(argv[2], std::atoi(argv[3]));
    if (what == "first-box" && (argc == 3 || argc == 4))
        return FirstBox(argv[2], argc == 4 ? argv[3] : "");
    if (what == "setup-text" && argc == 4)
        return SetupText(static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)), std::atoi(argv[3]));
    if (what == "menu" && (argc == 2 || argc == 3))
        return Menu(static_cast<LANGID>(argc == 3 ? std::strtoul(argv[2], nullptr, 0) : 0x409));
    std::fprintf(
        stderr,
        "usage: velmo-wine-figures driver | geometry <model> | save <file> <page> | helper-box <language> |\n"
        "       first-box <program> [arguments] | setup-text <language> <id> | menu [language]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    // Without a reset the machine has no sandbox yet, and its drive C: would be the current folder.
    sim::machine().Reset();
    const int result = Run(argc > 1 ? argv[1] : "", argc, argv);
    std::error_code ignored;
    std::filesystem::remove_all(sim::files().Sandbox(), ignored);
    return result;
}
