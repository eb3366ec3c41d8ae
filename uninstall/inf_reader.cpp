#include "inf_reader.h"

#include "text.h"

#include <algorithm>

namespace uninstall
{
namespace
{
std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// UTF-16 text (with its mark) narrowed: characters above 0x7F become '?', the INF's names are ASCII.
std::string Narrowed(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    {
        unsigned c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// A line's text up to its comment; quotes keep a ';'. `continued` tells of a trailing '\'.
std::string_view StripComment(std::string_view line, bool& continued)
{
    bool quoted = false;
    size_t end = line.size();
    for (size_t i = 0; i < line.size(); ++i)
    {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ';' && !quoted)
        {
            end = i;
            break;
        }
    }
    std::string_view text = Trim(line.substr(0, end));
    continued = !text.empty() && text.back() == '\\';
    if (continued)
        text.remove_suffix(1);
    return text;
}

// Fields split at commas outside quotes; a quoted field loses its quotes, "" inside gives one.
std::vector<std::string> SplitInfFields(std::string_view text)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '"')
        {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"')
            {
                fields.back() += '"';
                ++i;
            }
            else
                quoted = !quoted;
        }
        else if (c == ',' && !quoted)
        {
            if (fields.size() >= InfText::kMaxFields)
                break;
            fields.emplace_back();
        }
        else
            fields.back() += c;
    }
    for (std::string& f : fields)
        f = std::string(Trim(f));
    return fields;
}

// Where the key ends: the first '=' outside quotes.
size_t KeyEnd(std::string_view text)
{
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == '=' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

std::string Unquoted(std::string_view text)
{
    text = Trim(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

// "%key%" replaced by its [Strings] value; "%%" gives '%'; an unknown key stays as written.
std::string Substitute(const std::string& text, const std::vector<InfLine>* strings)
{
    if (!strings || text.find('%') == std::string::npos)
        return text;
    std::string out;
    for (size_t i = 0; i < text.size();)
    {
        size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos)
        {
            out += text[i++];
            continue;
        }
        std::string_view key(text.data() + i + 1, close - i - 1);
        if (key.empty())
            out += '%';
        else
        {
            auto found = std::find_if(strings->begin(), strings->end(),
                                      [&](const InfLine& l) { return EqualNoCase(l.key, key); });
            if (found != strings->end() && !found->fields.empty())
                out += found->fields[0];
            else
                out.append(text, i, close - i + 1);
        }
        i = close + 1;
        if (out.size() > InfText::kMaxLine)
            break;
    }
    return out;
}

std::string Decorated(std::string_view name, std::string_view decoration)
{
    return std::string(name) + "." + std::string(decoration);
}
} // namespace

InfText InfText::Parse(std::string_view bytes)
{
    std::string narrowed;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
    {
        narrowed = Narrowed(bytes.substr(0, kMaxBytes));
        bytes = narrowed;
    }
    bytes = bytes.substr(0, kMaxBytes);
    InfText inf;
    std::vector<InfLine>* current = nullptr;
    std::string pending;
    size_t at = 0;
    while (at < bytes.size())
    {
        size_t end = bytes.find('\n', at);
        std::string_view raw =
            bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? bytes.size() : end + 1;
        bool continued = false;
        std::string_view text = StripComment(raw.substr(0, kMaxLine), continued);
        if (pending.size() + text.size() <= kMaxLine)
            pending.append(text);
        if (continued && at < bytes.size())
            continue;
        std::string line = std::move(pending);
        pending.clear();
        std::string_view trimmed = Trim(line);
        if (trimmed.empty())
            continue;
        if (trimmed.front() == '[')
        {
            size_t close = trimmed.find(']');
            std::string name(Trim(
                trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            auto found = std::find_if(inf.sections_.begin(), inf.sections_.end(),
                                      [&](const auto& s) { return EqualNoCase(s.first, name); });
            // A section written twice is one section, as Windows merges them.
            if (found == inf.sections_.end())
            {
                inf.sections_.emplace_back(name, std::vector<InfLine>{});
                current = &inf.sections_.back().second;
            }
            else
                current = &found->second;
            continue;
        }
        if (!current)
            continue;
        InfLine parsed;
        size_t keyEnd = KeyEnd(trimmed);
        if (keyEnd == std::string_view::npos)
            parsed.fields = SplitInfFields(trimmed);
        else
        {
            parsed.key = Unquoted(trimmed.substr(0, keyEnd));
            parsed.fields = SplitInfFields(trimmed.substr(keyEnd + 1));
        }
        current->push_back(std::move(parsed));
    }
    // String keys once every section is known: [Strings] may come last.
    const std::vector<InfLine>* strings = inf.Section("Strings");
    std::vector<InfLine> stringsCopy = strings ? *strings : std::vector<InfLine>{};
    for (auto& [name, lines] : inf.sections_)
    {
        if (EqualNoCase(name, "Strings"))
            continue;
        for (InfLine& l : lines)
        {
            l.key = Substitute(l.key, &stringsCopy);
            for (std::string& f : l.fields)
                f = Substitute(f, &stringsCopy);
        }
    }
    return inf;
}

const std::vector<InfLine>* InfText::Section(std::string_view name) const
{
    for (const auto& [n, lines] : sections_)
        if (EqualNoCase(n, name))
            return &lines;
    return nullptr;
}

std::string InfText::Value(std::string_view section, std::string_view key) const
{
    if (const auto* lines = Section(section))
        for (const InfLine& l : *lines)
            if (EqualNoCase(l.key, key))
                return l.fields.empty() ? std::string() : l.fields[0];
    return {};
}

InfDriver ResolveInfDriver(const InfText& inf, std::string_view infFolder, std::string_view decoration,
                           bool is64)
{
    InfDriver d;
    d.className = inf.Value("Version", "Class");
    d.classGuid = inf.Value("Version", "ClassGuid");
    // DriverVer = mm/dd/yyyy,w.x.y.z
    if (const auto* version = inf.Section("Version"))
        for (const InfLine& l : *version)
            if (EqualNoCase(l.key, "DriverVer") && l.fields.size() > 1)
                d.driverVer = l.fields[1];

    if (const auto* manufacturer = inf.Section("Manufacturer");
        manufacturer && !manufacturer->empty() && !manufacturer->front().fields.empty())
    {
        d.modelSection = manufacturer->front().fields[0];
        if (!decoration.empty())
            d.modelSection = Decorated(d.modelSection, decoration);
    }
    if (const auto* models = inf.Section(d.modelSection); models && !models->empty())
    {
        const InfLine& first = models->front();
        if (!first.fields.empty())
            d.installSection = first.fields[0];
        if (first.fields.size() > 1)
            d.hardwareId = first.fields[1];
    }

    // The ".NT" variant when it copies files.
    std::string nt = d.installSection + ".NT";
    if (!d.installSection.empty() && !inf.Value(nt, "CopyFiles").empty())
        d.installSection = nt;
    if (const auto* services = inf.Section(d.installSection + ".Services"))
        for (const InfLine& l : *services)
            if (EqualNoCase(l.key, "AddService") && !l.fields.empty() && !l.fields[0].empty())
                d.services.push_back(l.fields[0]);

    std::vector<std::string> names;
    if (const auto* install = inf.Section(d.installSection))
        for (const InfLine& l : *install)
        {
            if (!EqualNoCase(l.key, "CopyFiles"))
                continue;
            for (const std::string& list : l.fields)
            {
                if (!list.empty() && list[0] == '@')
                    names.push_back(list.substr(1));
                else if (const auto* files = inf.Section(list))
                    for (const InfLine& f : *files)
                        if (!f.fields.empty() && !f.fields[0].empty())
                            // "dest, source": the source's name is the one on the disk.
                            names.push_back(f.fields.size() > 1 && !f.fields[1].empty() ? f.fields[1]
                                                                                        : f.fields[0]);
            }
        }

    const char* platform = is64 ? ".amd64" : ".x86";
    const auto* decoratedFiles = inf.Section(std::string("SourceDisksFiles") + platform);
    const auto* plainFiles = inf.Section("SourceDisksFiles");
    d.sourceDiskFileLines =
        (decoratedFiles ? decoratedFiles->size() : 0) + (plainFiles ? plainFiles->size() : 0);
    auto diskOf = [&](const std::string& name) -> std::string {
        for (const auto* section : {decoratedFiles, plainFiles})
            if (section)
                for (const InfLine& l : *section)
                    if (EqualNoCase(l.key, name) && !l.fields.empty())
                        return l.fields[0];
        return {};
    };
    auto subfolderOf = [&](const std::string& disk) -> std::string {
        for (const auto* section :
             {inf.Section(std::string("SourceDisksNames") + platform), inf.Section("SourceDisksNames")})
            if (section)
                for (const InfLine& l : *section)
                    if (l.key == disk)
                        return l.fields.size() > 3 ? l.fields[3] : std::string();
        return {};
    };
    for (const std::string& name : names)
    {
        std::string subfolder = subfolderOf(diskOf(name));
        while (!subfolder.empty() && subfolder.front() == '\\')
            subfolder.erase(0, 1);
        std::string folder = subfolder.empty() ? std::string(infFolder) : JoinPath(infFolder, subfolder);
        d.files.push_back(JoinPath(folder, name));
    }
    return d;
}

} // namespace uninstall
