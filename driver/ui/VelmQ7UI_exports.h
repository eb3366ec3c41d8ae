// The user-interface DLL's exports, X(ordinal, name) a line: the entry file defines them, the
// simulated loader registers them from this list and the build writes the DLL's .def from it.
#pragma once

#define VELMQ7UI_EXPORT_LIST(X)                                                                              \
    X(254, DrvSplDeviceCaps)                                                                                 \
    X(255, DevQueryPrint)                                                                                    \
    X(256, DevQueryPrintEx)                                                                                  \
    X(257, DllMain)                                                                                          \
    X(258, DrvAdvancedDocumentProperties)                                                                    \
    X(259, DrvConvertDevMode)                                                                                \
    X(260, DrvDeviceCapabilities)                                                                            \
    X(261, DrvDevicePropertySheets)                                                                          \
    X(262, DrvDocumentEvent)                                                                                 \
    X(263, DrvDocumentProperties)                                                                            \
    X(264, DrvDocumentPropertySheets)                                                                        \
    X(265, DrvPrinterEvent)                                                                                  \
    X(266, DrvQueryColorProfile)                                                                             \
    X(267, DrvQueryJobAttributes)                                                                            \
    X(268, DrvUpgradePrinter)                                                                                \
    X(269, PrinterProperties)
