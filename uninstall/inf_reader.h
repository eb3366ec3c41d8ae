// A small reader of driver INF files as the component library needs them: 8-bit text, sections,
// "key = field, field" lines, quotes, ';' comments, '\' continuations and %string% keys. Bounded:
// the text, each line and the number of fields are capped, so a hostile file costs little.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall
{

struct InfLine
{
    std::string key; // empty for a line without '='
    std::vector<std::string> fields;
};

class InfText
{
public:
    static constexpr size_t kMaxBytes = 4 << 20;
    static constexpr size_t kMaxLine = 4096;
    static constexpr size_t kMaxFields = 64;

    // Text past kMaxBytes is not read; a UTF-16 file (with its mark) is taken character by character.
    static InfText Parse(std::string_view bytes);

    // A section by name, without case; null when there is none.
    const std::vector<InfLine>* Section(std::string_view name) const;
    // The first field of a key in a section; empty when missing.
    std::string Value(std::string_view section, std::string_view key) const;
    size_t SectionCount() const { return sections_.size(); }

private:
    std::vector<std::pair<std::string, std::vector<InfLine>>> sections_;
};

// What the driver step takes from an INF: its class, the hardware id of the first model, the install
// section, the services it adds and the files it copies (with the folder each comes from).
struct InfDriver
{
    std::string className;
    std::string classGuid;
    std::string driverVer; // [Version] DriverVer's version part
    std::string modelSection;
    std::string hardwareId;
    std::string installSection;
    std::vector<std::string> services;
    std::vector<std::string> files; // paths: INF folder + disk subfolder + name
    size_t sourceDiskFileLines = 0;
};
InfDriver ResolveInfDriver(const InfText& inf, std::string_view infFolder, std::string_view decoration,
                           bool is64);

} // namespace uninstall
