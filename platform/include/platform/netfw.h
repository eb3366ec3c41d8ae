// The Windows Firewall's policy objects as system code sees them: the policy, its rule collection and
// a rule, with the automation strings they take. The SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/objbase.h>

#if defined(_WIN32)
#include <oleauto.h>
#include <netfw.h>
#else
#include <platform/linux/oleauto.h>
#include <platform/linux/netfw.h>
#endif
