// The user-mode spool DLL's exports, X(ordinal, name) a line: the entry file defines them, the
// simulated loader registers them from this list and the build writes the DLL's .def from it.
#pragma once

#define VELMQ7UM_EXPORT_LIST(X)                                                                              \
    X(1, DrvSplAbort)                                                                                        \
    X(2, DrvSplClose)                                                                                        \
    X(3, DrvSplEndDoc)                                                                                       \
    X(4, DrvSplEndPage)                                                                                      \
    X(5, DrvSplStartDoc)                                                                                     \
    X(6, DrvSplStartPage)                                                                                    \
    X(7, DrvSplWritePrinter)
