// VelmoPrintToFile's program: a windowless helper that serves one request of a starter outside the
// package (a save path or a message box) through the shared section named on its command line.
#pragma once

#include <platform/windows.h>

namespace velmoprinttofile
{

// The program's entry: always 0, results travel through the section.
int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

// Asks the user where to save, writing the chosen path (or 520 zero bytes) into the section.
void RunSavePathService(HWND owner, LPCWSTR sectionName);

// Shows the box a message-box section asks for and writes its result at offset 4. Closes `section`.
DWORD RunMessageBoxService(HWND owner, HANDLE section);

// MessageBoxW that closes itself after `timeout` ms (0: never) and then answers kTimedOut.
int TimedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, DWORD timeout);

} // namespace velmoprinttofile
