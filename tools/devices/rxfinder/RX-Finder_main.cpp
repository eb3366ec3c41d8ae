#include <platform/entry.h>

#include "finder_dialog.h"

PLATFORM_WWINMAIN(u"RX-Finder.exe", rxfinder::Main)
