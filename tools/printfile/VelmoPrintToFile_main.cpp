#include <platform/entry.h>

#include "print_to_file_app.h"

PLATFORM_WWINMAIN(u"VelmoPrintToFile.exe", velmoprinttofile::Main)
