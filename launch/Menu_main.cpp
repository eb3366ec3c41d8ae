#include <platform/entry.h>

#include "menu_dialogs.h"

PLATFORM_WWINMAIN(u"Menu.exe", menu::Main)
