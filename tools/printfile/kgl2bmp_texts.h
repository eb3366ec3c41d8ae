// KGL2BMP's built-in texts in English and Japanese, and the texts it builds from numbers and names.
#pragma once

#include <platform/windows.h>

#include "page_render.h"

#include <cstdint>
#include <span>

namespace kgl2bmp
{

constexpr WORD kEnglish = 0x09;
constexpr WORD kJapanese = 0x11;

enum class TextTarget
{
    Control,     // a control of the main dialog, by id
    MenuItem,    // a menu item, by command id
    MenuBarItem, // a top-level menu, by position
};

struct UiText
{
    TextTarget target;
    UINT id;
    LPCWSTR english;
    LPCWSTR japanese;
};

// Every text the language choice switches.
std::span<const UiText> UiTexts();

// Text in the given language (kEnglish or kJapanese).
LPCWSTR Pick(WORD language, LPCWSTR english, LPCWSTR japanese);

// Filters of the open and save dialogs, as the dialogs take them: pairs of strings, ended twice.
WString OpenFilter(WORD language);
WString SaveFilter(WORD language);

// The save dialog's proposal "<name> page<nnn>" for a print file: its name without folder and
// extension; empty when no name can be split off or the proposal would not fit MAX_PATH.
WString ProposedBitmapName(WStringView printFilePath, int page);

// The coverage box text for `black` pixels on a sheet of width x height; a sheet without area gets
// no percentage.
WString CoverageText(WORD language, uint64_t black, uint64_t width, uint64_t height);

// Why a save wrote nothing.
WString SaveErrorText(WORD language, printfile::RenderError error);
WString OpenErrorText(WORD language);
// An open or save dialog that failed (not one the user cancelled).
WString FileDialogErrorText(WORD language, bool saving);

struct AboutTexts
{
    WString version;
    WString notice;
};

// The about box's texts from the fixed version record: the most and least significant version
// dwords; the build number carries the build date (year - 2000, month, day).
AboutTexts MakeAboutTexts(DWORD versionMS, DWORD versionLS);

} // namespace kgl2bmp
