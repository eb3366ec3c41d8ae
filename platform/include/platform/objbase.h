// COM as system code sees it: apartments, class creation, IUnknown, persistence and property stores.
// The SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <objbase.h>
#include <objidl.h>
#include <propidl.h>
#include <propsys.h>
#else
#include <platform/linux/objbase.h>
#endif
