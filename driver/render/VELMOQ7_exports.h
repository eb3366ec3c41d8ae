// The graphics DLL's exports, X(ordinal, name) a line: the entry file defines them, the simulated
// loader registers them from this list and the build writes the DLL's .def from it.
#pragma once

#define VELMOQ7_EXPORT_LIST(X)                                                                               \
    X(1, DrvEnableDriver)                                                                                    \
    X(2, DrvDisableDriver)                                                                                   \
    X(3, DrvQueryDriverInfo)                                                                                 \
    X(4, DrvEscape)                                                                                          \
    X(5, DrvQueryFont)                                                                                       \
    X(6, DrvQueryFontTree)                                                                                   \
    X(7, DrvQueryFontData)
