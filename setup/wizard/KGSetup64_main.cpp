#include <platform/entry.h>

#include "startup.h"

PLATFORM_WWINMAIN(u"KGSetup64.exe", kgsetup::Main)
