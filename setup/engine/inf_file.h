// An INF file read through the Setup API, with the profile functions for what the Setup API hides
// (the raw key names).
#pragma once

#include <platform/setupapi.h>
#include <platform/windows.h>

#include <vector>

namespace kgsetup
{

// What a reader answers when the line or field is missing or the INF could not be opened.
inline const WString kNoData = TEXT("__NO_DATA__");
// The default of the profile reads of an INF.
inline const WString kNoInfFileName = TEXT("NO_INF_FILE_NAME");

// An INF open's failure as a scan judges it: 0 for a file that is no INF to read (another style, no
// [Version], bad syntax, gone since it was listed), else the code (access, I/O, memory), which the
// scan must report instead of counting the INF as someone else's.
DWORD InfReadError(DWORD openError);

class CInfFile
{
public:
    explicit CInfFile(WString path);
    ~CInfFile();
    CInfFile(const CInfFile&) = delete;
    CInfFile& operator=(const CInfFile&) = delete;

    bool IsOpen() const { return isOpen_ != 0; }
    const WString& Path() const { return path_; }
    // 0 when the INF was opened or is no INF to read; else why it could not be read.
    DWORD ReadError() const { return isOpen_ ? 0 : InfReadError(openError_); }

    WString GetField(const WString& section, const WString& key, DWORD index);
    bool FieldEquals(const WString& section, const WString& key, const WString& text);
    bool FieldBeginsWith(const WString& section, const WString& key, const WString& text);
    // The [Strings] value the first key of [Manufacturer] names (the key's % signs removed).
    WString GetManufacturer();
    // The manufacturer's models section, with its decoration when it has one.
    WString GetModelsSection();
    // Field 1 of the section's line of key (its first line when key is empty) and of every line after.
    std::vector<WString> GetLines(const WString& section, const WString& key);

private:
    WString path_;
    HINF inf_ = INVALID_HANDLE_VALUE;
    INFCONTEXT context_{};
    BYTE isOpen_ = 0;
    DWORD openError_ = 0;
};

// Every key name of a section as the profile functions read it (raw, quotes kept); nullopt when the
// file or the section is missing. The list is read whole, however long.
std::vector<WString> ProfileKeyNames(const WString& file, const WString& section, DWORD initialSize,
                                     bool* found);

// Key names as model names: a key in a pair of double quotes loses them; empty ones are dropped; at
// most `limit`.
std::vector<WString> ModelNamesOf(const std::vector<WString>& keys, size_t limit);

bool EqualsNoCase(const WString& a, const WString& b);

} // namespace kgsetup
