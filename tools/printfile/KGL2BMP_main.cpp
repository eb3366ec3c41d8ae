#include <platform/entry.h>

#include "kgl2bmp_dialogs.h"

PLATFORM_WWINMAIN(u"KGL2BMP.exe", kgl2bmp::Main)
