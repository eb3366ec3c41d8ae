#include <platform/entry.h>

#include "startup.h"

PLATFORM_WINMAIN(u"Uninstaller.exe", uninstall::Main)
