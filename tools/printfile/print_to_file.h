// VelmoPrintToFile: asks the user, for a starter outside the package, where to save a print file or
// what to answer to a message, through a named shared section.
#pragma once

#include <platform/windows.h>

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

constexpr size_t kSavePathBytes = MAX_PATH * sizeof(WCHAR);
constexpr size_t kMessageHeaderBytes = 20;
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
