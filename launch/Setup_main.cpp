#include <platform/entry.h>

#include "setup_launcher.h"

PLATFORM_WINMAIN(u"Setup.exe", setuplauncher::Main)
