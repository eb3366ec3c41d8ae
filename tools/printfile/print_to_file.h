// VelmoPrintToFile: asks the user, for a starter outside the package, where to save a print file or
// what to answer to a message, through a named shared section.
#pragma once

#include <platform/windows.h>

#include <cstddef>
#include <optional>
#include <span>

namespace velmoprinttofile
{

enum class Service
{
    None,
    SavePath,
    MessageBox,
};

// The service a section name asks for: its marker must follow at least one character.
Service SelectService(WStringView sectionName);

// The neutral text set is for builds whose file name starts with "veo".
bool UsesNeutralTexts(WStringView modulePath);

// Whether the duplicator can open a file of this name (name and extension, no folder).
bool IsAcceptableTitle(WStringView title);

// The first free "IMAGEnnnnn.kgl" in `folder`, into `out` (MAX_PATH characters); 1 on success.
BOOL MakeDefaultFileName(LPWSTR out, LPCWSTR folder);

// The save-path section, as the starter lays it out: the default folder in, the chosen path out (all zeros
// for none), NUL-terminated UTF-16 both.
struct SavePathExchange
{
    WCHAR path[MAX_PATH];
};
static_assert(sizeof(WCHAR) == 2 && sizeof(SavePathExchange) == 520);

// The message-box section: little-endian words, then the text and, with two strings or more, the caption,
// NUL-terminated UTF-16, from `strings` on.
struct MessageBoxExchange
{
    DWORD unused;
    DWORD result;  // out: the box's answer, kTimedOut, or 0 when no box was shown
    DWORD type;    // MessageBoxW flags
    DWORD timeout; // milliseconds; 0 for none
    DWORD stringCount;
};
static_assert(sizeof(DWORD) == 4 && sizeof(MessageBoxExchange) == 20);
static_assert(offsetof(MessageBoxExchange, result) == 4 && offsetof(MessageBoxExchange, type) == 8 &&
              offsetof(MessageBoxExchange, timeout) == 12 && offsetof(MessageBoxExchange, stringCount) == 16);

constexpr size_t kSavePathBytes = sizeof(SavePathExchange);
constexpr size_t kMessageHeaderBytes = sizeof(MessageBoxExchange);
constexpr DWORD kTimedOut = 32000;

// The default folder a save-path request carries, normalised with a trailing backslash, or nothing
// when it is empty or leaves no room for a numbered name. `view` is at least kSavePathBytes long.
std::optional<WString> ReadSaveFolder(std::span<const BYTE> view);

struct MessageBoxRequest
{
    UINT type = 0;
    DWORD timeout = 0;
    WString text;
    std::optional<WString> caption;
};

// The request in a message-box section; nothing when the view is too short or a string runs past it.
std::optional<MessageBoxRequest> ParseMessageBoxRequest(std::span<const BYTE> view);

} // namespace velmoprinttofile
