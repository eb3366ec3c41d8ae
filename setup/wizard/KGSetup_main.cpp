#include <platform/entry.h>

#include "startup.h"

PLATFORM_WWINMAIN_32BIT(u"KGSetup.exe", kgsetup::Main)
