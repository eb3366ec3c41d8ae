#include <platform/entry.h>

#include "monitor_launcher.h"

PLATFORM_WINMAIN(u"MonitorLauncher.exe", monitorlauncher::Main)
