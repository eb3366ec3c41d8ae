// Shell objects as system code sees them: file operations, shell items, links, special folders.
// The SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/objbase.h>

#if defined(_WIN32)
#include <shlobj.h>
#include <shobjidl.h>
#include <knownfolders.h>
#include <propkey.h>
#else
#include <platform/linux/shellapi.h>
#include <platform/linux/shlobj.h>
#endif
