// Starting the package's programs and opening its documents through the shell.
#pragma once

#include <platform/windows.h>

namespace launch
{

class CMultilingualStringTable;

// 3 for no path, 2 for a missing file; else the child's exit code when waiting, 0 when not, or the
// last error when the shell refused. A waited launch hides and disables the owner meanwhile and
// restores it afterwards, whatever the outcome.
DWORD ExecuteAndWait(HWND owner, LPCWSTR path, bool wait);

// The folder of a path, cut at 259 characters, with its trailing backslash.
WString WorkingDirectoryOf(LPCWSTR path);

// Whether the shell knows a program that opens PDF files.
bool IsPdfViewerAvailable();

// The file-not-found box: string 507, captioned with the owner's window text.
void ShowFileNotFound(HWND owner);

class CExecuteProcess
{
public:
    CExecuteProcess(WORD version, BYTE productType, BYTE architecture, LCID systemLcid, LCID userLcid)
        : version_(version), productType_(productType), architecture_(architecture), systemLcid_(systemLcid),
          userLcid_(userLcid)
    {
    }
    virtual ~CExecuteProcess() = default;
    virtual void Reserved() {}

    DWORD RunAndWait(HWND owner, LPCWSTR path) { return ExecuteAndWait(owner, path, true); }
    // Starts the document without waiting and without touching any window, when it exists.
    void OpenDocument(LPCWSTR path);

    WORD Version() const { return version_; }

private:
    WORD version_;
    [[maybe_unused]] BYTE productType_; // kept as handed over; no launch reads them
    [[maybe_unused]] BYTE architecture_;
    [[maybe_unused]] LCID systemLcid_;
    [[maybe_unused]] LCID userLcid_;
};

// A manual: opened when a viewer is there (always from Windows 8 on), else the question whether to
// show its folder; a missing file gives the file-not-found box.
void OpenManual(HWND owner, CExecuteProcess& launcher, const CMultilingualStringTable& strings,
                LANGID language, const WString& moduleFolder, WStringView relativePath);
// A program of the package beside the menu: the file-not-found box when it is missing, else a waited
// launch.
void RunPackageProgram(HWND owner, CExecuteProcess& launcher, const WString& moduleFolder,
                       WStringView relativePath);

} // namespace launch
