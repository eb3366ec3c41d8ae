// Text and path handling of the Uninstaller: 8-bit text in the system code page, always scanned a
// whole character at a time (a trail byte of a double-byte character is never a backslash).
#pragma once

#include <platform/windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall
{

struct SplitModulePath
{
    std::string folder; // drive and folder, with the trailing backslash
    std::string baseName;
    std::string extension; // with its dot
};
SplitModulePath SplitPath(std::string_view path);

// The UI INI's file name for a program's base name: two trailing characters at or below '9' are cut
// when a character is left.
std::string UiIniName(std::string_view baseName);

// Joins with exactly one backslash between.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder part of a path ("C:\a\b.txt" -> "C:\a\"), and whether a path is a drive root.
std::string FolderOf(std::string_view path);
bool IsDriveRoot(std::string_view folder);
bool IsAbsolutePath(std::string_view path); // drive-qualified or UNC

// "\n" and "\t" written in an INI value become a line break and a tab.
std::string ExpandEscapes(std::string_view text);

// The text with `argument` in place of its first "%s"; "%%" gives "%", any other "%" stays. At most
// `limit` characters come out.
std::string FormatWithArgument(std::string_view text, std::string_view argument, size_t limit);

// The first field of `value` split at `separator`, and so on; missing fields are empty.
std::vector<std::string> SplitFields(std::string_view value, char separator);

bool EqualNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view text, std::string_view part);

// "-d..." options: the log bits they give (flags unchanged for another token).
WORD ParseDebugToken(std::string_view token, WORD flags);
// " -dlogoutqa" (the parts for the bits set), empty when none is.
std::string DebugOptionsSuffix(WORD flags);

// [LANGUAGE] entries "<any>;<folder>;<code>": the folder for the language, or `fallback`.
std::string PickLanguageFolder(LANGID language, std::string_view fallback,
                               const std::vector<std::string>& entries);

struct ApplicationEntry
{
    std::string name;
    std::string displayName;
    int messageOffset = 0;
};
ApplicationEntry ParseApplicationEntry(std::string_view value);

// A status text shortened to fit `width`: "<first three>...<rest>" dropping leading path elements,
// else cut from the end with a trailing "...".
using Measure = std::function<int(std::string_view)>;
std::string ShortenToFit(std::string_view text, int width, const Measure& measure);

struct FontSpec
{
    std::string face;
    LONG height = 0; // negative: the character height
    BYTE charset = DEFAULT_CHARSET;
    LONG weight = FW_DONTCARE;
    bool underline = false;
};
// "<face>,<height>,<charset>,<weight>[,UNDERLINE]"; nothing when it gives no usable font.
std::optional<FontSpec> ParseFontSpec(std::string_view value);

// Where a window of the given rectangle is centred over `over` and kept inside `area`.
RECT CentreRect(const RECT& window, const RECT& over, const RECT& area);

} // namespace uninstall
