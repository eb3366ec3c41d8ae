// Behaviour of Windows that the product's programs rely on, written once against the Win32 API: the
// Wine stage runs these in a cross-built program, and the Linux tests run the same expectations over
// the simulated machine, so a difference between the simulation and a real Win32 shows on one side.
// Each check answers "" when the behaviour holds, else what was seen instead.
#pragma once

#include <platform/commctrl.h>
#include <platform/shlwapi.h>
#include <platform/windows.h>

#include "behaviour_resource.h"

#include <cstring>
#include <string>
#include <vector>

namespace behaviour
{

struct Check
{
    const char* name;
    std::string (*run)();
};

inline std::string Error(const char* what, DWORD expected)
{
    const DWORD seen = GetLastError();
    return seen == expected ? std::string()
                            : std::string(what) + ": error " + std::to_string(seen) + ", expected " +
                                  std::to_string(expected);
}

inline HANDLE NewSection(LPCWSTR name, DWORD size = 4096)
{
    return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
}

// Kernel object names compare with case: another case is another name.
inline std::string SectionNamesCompareWithCase()
{
    HANDLE section = NewSection(TEXT("Local\\velmo.check.Case"));
    if (!section)
        return "no section";
    std::string result;
    if (HANDLE same = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Local\\velmo.check.Case")))
        CloseHandle(same);
    else
        result = "the section is not found by its own name";
    if (HANDLE other = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Local\\VELMO.CHECK.CASE")))
    {
        CloseHandle(other);
        result = "the name in other case opens the section";
    }
    else if (result.empty())
        result = Error("other case", ERROR_FILE_NOT_FOUND);
    CloseHandle(section);
    return result;
}

// A section's name lasts while a handle to it is open, as a kernel object's name does; a view keeps
// only its memory.
inline std::string SectionNameGoesWithItsLastHandle()
{
    const LPCWSTR name = TEXT("Local\\velmo.check.lifetime");
    HANDLE section = NewSection(name);
    HANDLE second = section ? OpenFileMappingW(FILE_MAP_READ, FALSE, name) : nullptr;
    auto* view = section ? static_cast<char*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (!second || !view)
        return "no section";
    view[0] = 'v';
    CloseHandle(section);
    std::string result;
    if (HANDLE again = OpenFileMappingW(FILE_MAP_READ, FALSE, name))
        CloseHandle(again);
    else
        result = "the name went while a handle was open";
    CloseHandle(second);
    if (HANDLE stale = OpenFileMappingW(FILE_MAP_READ, FALSE, name))
    {
        CloseHandle(stale);
        result = "the section still opens by name after its last handle closed";
    }
    else if (result.empty())
        result = Error("after the last handle", ERROR_FILE_NOT_FOUND);
    if (result.empty() && view[0] != 'v')
        result = "the view lost its memory";
    UnmapViewOfFile(view);
    return result;
}

// A view asked to reach past the section's end is refused, and says it is not allowed.
inline std::string ViewPastTheEndIsRefused()
{
    HANDLE section = NewSection(nullptr, 4096);
    if (!section)
        return "no section";
    std::string result;
    if (void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 8192))
    {
        UnmapViewOfFile(view);
        result = "a view past the end was mapped";
    }
    else
        result = Error("view past the end", ERROR_ACCESS_DENIED);
    CloseHandle(section);
    return result;
}

// LoadLibraryEx refuses flags it does not know rather than ignoring them.
inline std::string UnknownLoadFlagsAreRefused()
{
    if (HMODULE module = LoadLibraryExW(TEXT("kernel32.dll"), nullptr, 0x01000000))
    {
        FreeLibrary(module);
        return "an unknown flag was ignored";
    }
    return Error("unknown flag", ERROR_INVALID_PARAMETER);
}

// Module names cut to the buffer: nSize - 1 characters and a terminator, nSize returned, and
// ERROR_INSUFFICIENT_BUFFER.
inline std::string ModuleNameIsCutToTheBuffer()
{
    char whole[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, whole, MAX_PATH);
    if (length < 8)
        return "no module name";
    char cut[8];
    std::memset(cut, 'x', sizeof cut);
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetModuleFileNameA(nullptr, cut, 6);
    if (n != 6)
        return "returned " + std::to_string(n) + ", expected 6";
    if (std::string(cut, 5) != std::string(whole, 5) || cut[5] != 0 || cut[6] != 'x')
        return "the buffer holds \"" + std::string(cut, 7) + "\", not 5 characters and a terminator";
    return Error("cut name", ERROR_INSUFFICIENT_BUFFER);
}

// The classes a print file's title is checked with: wildcards, separators, characters no name may hold,
// and name characters. Whether a name character also fits an 8.3 name is not asked of them; nor is the
// class of '/', which is not documented (see wine-known-differences.txt).
inline std::string PathCharacterClasses()
{
    struct Case
    {
        WCHAR c;
        UINT type;
    };
    const Case cases[] = {
        {u'*', GCT_WILD},      {u'?', GCT_WILD},    {u'\\', GCT_SEPARATOR}, {u':', GCT_SEPARATOR},
        {u'"', GCT_INVALID},   {u'<', GCT_INVALID}, {u'>', GCT_INVALID},    {u'|', GCT_INVALID},
        {0x1F, GCT_INVALID},   {u'a', GCT_LFNCHAR}, {u'0', GCT_LFNCHAR},    {u'.', GCT_LFNCHAR},
        {u' ', GCT_LFNCHAR},   {u'+', GCT_LFNCHAR}, {u',', GCT_LFNCHAR},    {u';', GCT_LFNCHAR},
        {u'=', GCT_LFNCHAR},   {u'[', GCT_LFNCHAR}, {0x00E9, GCT_LFNCHAR},  {0x3042, GCT_LFNCHAR},
        {0xFF76, GCT_LFNCHAR},
    };
    std::string result;
    for (const Case& c : cases)
    {
        const UINT seen = PathGetCharTypeW(c.c) & ~static_cast<UINT>(GCT_SHORTCHAR);
        if (seen != c.type)
            result += (result.empty() ? "" : ", ") + std::string("U+") + std::to_string(c.c) + " is " +
                      std::to_string(seen) + " not " + std::to_string(c.type);
    }
    return result;
}

// On a 64-bit Windows the machine's software key has a 32-bit view of its own, reached by the flag or
// under WOW6432Node, while the user's software key is one for both views.
inline std::string RegistryViewsSplitTheMachineKeyOnly()
{
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    if (system.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_AMD64)
        return {}; // a 32-bit Windows has one view
    const LPCWSTR path = TEXT("Software\\VelmoCheckView");
    auto put = [&](HKEY root, REGSAM view) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        const DWORD value = 32;
        const bool ok = RegSetValueExW(key, TEXT("view"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                       sizeof value) == ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    };
    auto seen = [&](HKEY root, LPCWSTR keyPath, REGSAM view) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, keyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            return false;
        DWORD value = 0, type = 0, size = sizeof value;
        const bool found = RegQueryValueExW(key, TEXT("view"), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                           type == REG_DWORD && value == 32;
        RegCloseKey(key);
        return found;
    };
    auto remove = [&](HKEY root, REGSAM view) { RegDeleteKeyExW(root, path, view, 0); };
    std::string result;
    if (!put(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY) || !put(HKEY_CURRENT_USER, KEY_WOW64_32KEY))
        result = "the keys could not be written";
    else if (!seen(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY))
        result = "the 32-bit view does not hold what was written to it";
    else if (seen(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY))
        result = "the 64-bit view of the machine's software key shows the 32-bit value";
    else if (!seen(HKEY_LOCAL_MACHINE, TEXT("Software\\WOW6432Node\\VelmoCheckView"), KEY_WOW64_64KEY))
        result = "the 32-bit value is not under WOW6432Node";
    else if (!seen(HKEY_CURRENT_USER, path, KEY_WOW64_64KEY))
        result = "the user's software key differs between the views";
    remove(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    remove(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
    return result;
}

// The start-up hardening the programs do: kernel32 from the system folder, the default search cut to
// it (a DLL beside the program is then not found), and a permanent safe search mode that later calls
// cannot change. `besideProgram` is a DLL in the program's folder, or null where there is none.
inline std::string DllSearchHardeningHolds(LPCWSTR besideProgram)
{
    HMODULE kernel = LoadLibraryExW(TEXT("kernel32.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!kernel)
        return "kernel32 is not loaded from the system folder";
    FreeLibrary(kernel);
    if (SetDefaultDllDirectories(0))
        return "no search folders were taken";
    if (std::string e = Error("no search folders", ERROR_INVALID_PARAMETER); !e.empty())
        return e;
    if (besideProgram)
    {
        HMODULE planted = LoadLibraryExW(besideProgram, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
        if (!planted)
            return "the DLL beside the program is not found in the program's folder";
        FreeLibrary(planted);
    }
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) || !SetDllDirectoryW(TEXT("")))
        return "the search could not be cut to the system folder";
    std::string result;
    if (besideProgram)
    {
        if (HMODULE planted = LoadLibraryW(besideProgram))
        {
            FreeLibrary(planted);
            result = "the DLL beside the program was loaded";
        }
        else
            result = Error("the DLL beside the program", ERROR_MOD_NOT_FOUND);
    }
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    SetDllDirectoryW(nullptr);
    if (!result.empty())
        return result;
    if (!SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT))
        return "the safe search mode could not be made permanent";
    if (SetSearchPathMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE))
        return "a permanent search mode was changed";
    return Error("changing a permanent search mode", ERROR_ACCESS_DENIED);
}

inline std::string StringOf(UINT id)
{
    WCHAR text[32] = {};
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, text, 32);
    std::string seen;
    for (int i = 0; i < n; ++i)
        seen += static_cast<char>(text[i]);
    return seen;
}

// A string picked for the user's language: its own table, else its language's table without a country,
// else English (the tables are English, Japanese and German without a country).
inline std::string ResourceLanguageChoice()
{
    const LANGID user = GetUserDefaultUILanguage();
    const std::string expected = PRIMARYLANGID(user) == LANG_JAPANESE ? "japanese"
                                 : PRIMARYLANGID(user) == LANG_GERMAN ? "german"
                                                                      : "english";
    const std::string seen = StringOf(IDS_LANGUAGE);
    return seen == expected
               ? std::string()
               : "user language " + std::to_string(user) + " gets \"" + seen + "\", not \"" + expected + "\"";
}

// With a language-neutral table beside them, the user's own language still comes first; the neutral
// table serves the users of every other language.
inline std::string ResourceLanguageBeforeNeutral()
{
    const LANGID user = GetUserDefaultUILanguage();
    const std::string expected = PRIMARYLANGID(user) == LANG_JAPANESE  ? "japanese"
                                 : PRIMARYLANGID(user) == LANG_GERMAN  ? "german"
                                 : PRIMARYLANGID(user) == LANG_ENGLISH ? "english"
                                                                       : "neutral";
    const std::string seen = StringOf(IDS_LANGUAGE_OR_NEUTRAL);
    return seen == expected
               ? std::string()
               : "user language " + std::to_string(user) + " gets \"" + seen + "\", not \"" + expected + "\"";
}

// What a number box with an up-down beside it tells its dialog when code changes it: a text set by code
// notifies a change; a position set by code writes the number into the box (so the box notifies) and is
// no step of the user's (no UDN_DELTAPOS); a position past the range is taken to its end; the position
// read back follows what the box shows, and a box that shows no number reads as an error.
struct NumberForm
{
    int changes = 0;
    int deltas = 0;
    std::string result;
};

inline INT_PTR CALLBACK NumberFormProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = reinterpret_cast<NumberForm*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message)
    {
    case WM_INITDIALOG: {
        form = reinterpret_cast<NumberForm*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        HWND box = GetDlgItem(dialog, IDC_NUMBER);
        HWND spin = GetDlgItem(dialog, IDC_NUMBER_SPIN);
        auto fail = [&](const std::string& what) {
            if (form->result.empty())
                form->result = what;
        };
        auto shown = [&] {
            WCHAR text[16] = {};
            const int n = GetWindowTextW(box, text, 16);
            std::string s;
            for (int i = 0; i < n; ++i)
                s += static_cast<char>(text[i]);
            return s;
        };
        SendMessageW(spin, UDM_SETRANGE32, 1, 50);
        form->changes = form->deltas = 0;
        SetWindowTextW(box, TEXT("7"));
        if (form->changes != 1)
            fail("setting the text notified " + std::to_string(form->changes) + " changes");
        form->changes = 0;
        SendMessageW(spin, UDM_SETPOS32, 0, 20);
        if (shown() != "20")
            fail("the box shows \"" + shown() + "\" after the position was set to 20");
        if (form->changes != 1)
            fail("setting the position notified " + std::to_string(form->changes) + " changes");
        if (form->deltas != 0)
            fail("setting the position was taken for a step of the user's");
        SendMessageW(spin, UDM_SETPOS32, 0, 80);
        if (shown() != "50")
            fail("a position past the range shows \"" + shown() + "\", not 50");
        SetWindowTextW(box, TEXT("12"));
        BOOL error = TRUE;
        LRESULT position = SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error));
        if (position != 12 || error)
            fail("the box's 12 reads as " + std::to_string(position) + (error ? " with an error" : ""));
        SetWindowTextW(box, TEXT(""));
        error = FALSE;
        SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error));
        if (!error)
            fail("an empty box reads as a position without an error");
        EndDialog(dialog, 1);
        return TRUE;
    }
    case WM_COMMAND:
        if (form && LOWORD(wParam) == IDC_NUMBER && HIWORD(wParam) == EN_CHANGE)
            ++form->changes;
        return TRUE;
    case WM_NOTIFY:
        if (form && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(UDN_DELTAPOS))
            ++form->deltas;
        return FALSE;
    default:
        return FALSE;
    }
}

inline std::string NumberBoxNotifications()
{
    NumberForm form;
    const INT_PTR ended = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NUMBER_FORM),
                                          nullptr, NumberFormProc, reinterpret_cast<LPARAM>(&form));
    if (ended != 1)
        return "the form did not run (" + std::to_string(ended) + ", error " +
               std::to_string(GetLastError()) + ")";
    return form.result;
}

// The DLL the Wine stage puts beside the checks (the uninstaller's helper stand-in), where it is.
inline std::string DllSearchHardening()
{
    const LPCWSTR name = sizeof(void*) == 8 ? TEXT("_Setup64.dll") : TEXT("_Setup.dll");
    WCHAR path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    WString beside(path, n < MAX_PATH ? n : 0);
    beside = beside.substr(0, beside.find_last_of(TEXT('\\')) + 1) + name;
    const DWORD attributes = GetFileAttributesW(beside.c_str());
    const bool present = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return DllSearchHardeningHolds(present ? name : nullptr);
}

inline std::vector<Check> Checks()
{
    return {
        {"section-names-compare-with-case", SectionNamesCompareWithCase},
        {"section-name-goes-with-its-last-handle", SectionNameGoesWithItsLastHandle},
        {"view-past-the-end-is-refused", ViewPastTheEndIsRefused},
        {"unknown-load-flags-are-refused", UnknownLoadFlagsAreRefused},
        {"module-name-is-cut-to-the-buffer", ModuleNameIsCutToTheBuffer},
        {"path-character-classes", PathCharacterClasses},
        {"registry-views-split-the-machine-key-only", RegistryViewsSplitTheMachineKeyOnly},
        {"resource-language-choice", ResourceLanguageChoice},
        {"resource-language-before-neutral", ResourceLanguageBeforeNeutral},
        {"number-box-notifications", NumberBoxNotifications},
        // Last: a permanent search mode stays with the process.
        {"dll-search-hardening", DllSearchHardening},
    };
}

} // namespace behaviour
