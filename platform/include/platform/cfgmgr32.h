// The configuration manager's device nodes as system code sees them (cfgmgr32.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <cfgmgr32.h>
#else
#include <platform/linux/cfgmgr32.h>
#endif
