// Any bytes as what the Uninstaller reads from its INI files, bitmap files, command line and the
// drivers' INF files. The first byte chooses the reader (later readers take the next values); each must give
// a result inside its bounds and never read or write outside what it was given.
#include "bitmap.h"
#include "components.h"
#include "entries.h"
#include "inf_reader.h"
#include "port_monitors.h"
#include "text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{
using namespace uninstall;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Bitmap(std::string_view data)
{
    if (auto parsed = ParseBitmapFile(data))
    {
        Check(parsed->bitsOffset <= parsed->dib.size());
        Check(parsed->colours <= 256);
    }
}

void Font(std::string_view data)
{
    if (auto spec = ParseFontSpec(data))
    {
        Check(spec->face.size() < LF_FACESIZE);
        Check(spec->height <= 0 && spec->height > -10000);
    }
}

void Texts(std::string_view data)
{
    size_t split = data.empty() ? 0 : static_cast<unsigned char>(data[0]) % (data.size());
    std::string_view text = data.substr(std::min<size_t>(1, data.size()), split);
    std::string_view argument = data.substr(std::min(data.size(), split + 1));
    std::string escaped = ExpandEscapes(text);
    Check(escaped.size() <= text.size());
    Check(FormatWithArgument(escaped, argument, 300).size() <= 300);
    std::string shown = ShortenToFit(text, 40, [](std::string_view s) { return static_cast<int>(s.size()); });
    Check(shown.size() <= 40 || shown == "...");
}

void Languages(std::string_view data)
{
    LANGID language = data.size() >= 2 ? static_cast<LANGID>(static_cast<unsigned char>(data[0]) |
                                                             static_cast<unsigned char>(data[1]) << 8)
                                       : 0;
    auto entries = SplitFields(data.substr(std::min<size_t>(2, data.size())), '\n');
    std::string folder = PickLanguageFolder(language, "DEFAULT", entries);
    Check(folder.size() <= 127 || folder == "DEFAULT");
}

void CommandLine(std::string_view data)
{
    WORD flags = 0;
    for (const std::string& token : SplitFields(data.substr(0, 519), ' '))
    {
        flags = ParseDebugToken(token, flags);
        ApplicationEntry e = ParseApplicationEntry(token);
        Check(e.messageOffset >= 0 && e.messageOffset < 100000);
    }
    Check(DebugOptionsSuffix(flags).size() <= 11);
    SplitModulePath split = SplitPath(data);
    Check(split.folder.size() + split.baseName.size() + split.extension.size() == data.size());
    Check(UiIniName(split.baseName).size() <= split.baseName.size() + 4);
}
// An INF file, then what the driver step takes from it with a decoration from the first line.
void Inf(std::string_view data)
{
    InfText inf = InfText::Parse(data);
    std::string_view decoration = data.substr(0, std::min<size_t>(data.find('\n'), 32));
    for (bool is64 : {false, true})
    {
        InfDriver d = ResolveInfDriver(inf, "C:\\Drv", decoration, is64);
        Check(d.files.size() <= data.size());
        for (const std::string& f : d.files)
            Check(f.size() <= InfText::kMaxLine * 3 + 16);
    }
}

// Component and status-monitor entries, orders and per-system lists, one a line.
void Entries(std::string_view data)
{
    auto lines = SplitFields(data.substr(0, 4096), '\n');
    for (const std::string& line : lines)
    {
        if (auto e = ParseComponentEntry(line, line))
        {
            Check(std::char_traits<char>::length(e->name) < sizeof e->name);
            Check(std::char_traits<char>::length(e->componentName) < sizeof e->componentName);
            Check(e->mode >= kModeNone && e->mode <= kModeStop);
        }
        for (int kind : ParseUninstallOrder(line))
            Check(kind >= kKindNone && kind <= kKindFile);
        if (auto m = ParseStatusMonitorEntry(line))
            Check(m->messageOffset >= 0 && m->messageOffset <= 100000);
        DottedVersionValue(line);
    }
    WORD os = data.empty() ? 0 : static_cast<unsigned char>(data[0]) % 20;
    std::string suffix = MatchOsSuffix(lines, os, os % 2 == 0, static_cast<WORD>(data.size() % 7));
    Check(suffix.size() <= data.size());
}

// File-list entries, one a line: registry keys, firewall entries, the shared key, folder chains.
void FileListEntries(std::string_view data)
{
    for (const std::string& line : SplitFields(data, '\n'))
    {
        if (auto e = ParseRegEntry(line))
        {
            Check(!e->subKey.empty() && e->subKey.size() < MAX_PATH);
            if (e->form == RegForm::ControlPanel)
                Check(!e->item.empty() && e->item.find('\\') == std::string::npos &&
                      ControlPanelKeys(e->item).size() == 8);
            else
                Check(!e->path.empty() && e->path.size() <= e->subKey.size());
        }
        if (auto p = ParseFirewallPort(line))
            Check(p->port >= 0 && p->port <= 65535 && (p->udp == 0 || p->udp == 1));
        for (bool wantsPort : {false, true})
            if (auto r = ParseFirewallRule(line, wantsPort))
                Check(!r->rule.empty() && r->port.has_value() == wantsPort);
        if (auto k = ParseSharedKey(line))
            Check(k->company.find('\\') == std::string::npos && k->product.find('\\') == std::string::npos);
        std::vector<std::string> chain = FolderChain(line, "C:\\");
        for (size_t i = 1; i < chain.size(); ++i)
            Check(chain[i].size() < chain[i - 1].size() && chain[i - 1].starts_with(chain[i]));
        IsShortcutFile(line);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] >= 0xF0)
    {
        FileListEntries(rest);
        return 0;
    }
    switch (data[0] % 7)
    {
    case 0:
        Bitmap(rest);
        break;
    case 1:
        Font(rest);
        break;
    case 2:
        Texts(rest);
        break;
    case 3:
        Languages(rest);
        break;
    case 4:
        CommandLine(rest);
        break;
    case 5:
        Inf(rest);
        break;
    default:
        Entries(rest);
        break;
    }
    return 0;
}
