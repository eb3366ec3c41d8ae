// Linux declarations: gdi32. Written from the documented API; included by platform/windows.h.
#pragma once

// --- printer escapes (ExtEscape / DrvEscape codes) ---
#define QUERYESCSUPPORT 8
#define SETCOPYCOUNT 17
#define PASSTHROUGH 19
#define GETTECHNOLOGY 20
