// Common dialogs as system code sees them: the SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <commdlg.h>
#else
#include <platform/linux/commdlg.h>
#endif
