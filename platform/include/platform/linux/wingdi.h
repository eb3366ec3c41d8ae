// Linux declarations: gdi32. Written from the documented API; included by platform/windows.h.
#pragma once
