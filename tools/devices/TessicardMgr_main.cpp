#include <platform/entry.h>

#include "card_dialog.h"

PLATFORM_WINMAIN(u"TessicardMgr.exe", tessicard::Main)
