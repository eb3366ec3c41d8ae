// The Print to File page: the folder print files go to by default, browsed for and checked for
// writing.
#pragma once

#include <platform/windows.h>

namespace velmoui
{

inline constexpr int kFolderEdit = 1602;
inline constexpr int kFolderBrowse = 1603;
inline constexpr size_t kFolderMaxChars = 247;

enum class FolderVerdict
{
    TooLong, // string 574, nothing changes
    Same,    // the current folder, in any case
    Replace,
};
FolderVerdict JudgeFolder(WStringView current, WStringView chosen);

enum class WriteOutcome
{
    Written,
    CannotCreate, // string 560; the folder is still taken
    CannotDelete, // string 576 with the file's name
};
struct WriteCheck
{
    WriteOutcome outcome = WriteOutcome::Written;
    WString file;
};
// Creates a file of a short unique name in the folder and deletes it again.
WriteCheck CheckFolderWritable(const WString& folder);

// The page template's dialog procedure (116, 156).
INT_PTR CALLBACK PrintToFilePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace velmoui
