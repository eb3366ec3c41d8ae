// The series' models, kept once for both DLLs: each row gives the printer's driver name, its
// resolution key, the graphics DLL's paper-list type (1 A3, 2 B4, 3 A4, 4 Legal) and capabilities,
// the user interface's paper-list type (2..21) and capabilities, and whether its printer comment
// carries the scanning-resolution line. The generic driver names print as the A3 model with every
// option. Finishing and duplex bits (0x1, 0x2, 0x4, 0x10000) agree between the two columns.
//
// VELMO_MODELS(ROW) expands ROW(name, key, paperListType, capabilities, uiPaperListType,
// uiCapabilities, scanLine) once per model.
#pragma once

#define VELMO_MODELS(ROW)                                                                                    \
    ROW(TEXT("KORIGRAPH Driver"), 3, 1, 0x10107, 21, 0x90117, true)                                          \
    ROW(TEXT("KORIGRAPH Driver with UserMode"), 3, 1, 0x10107, 21, 0x90117, true)                            \
    ROW(TEXT("KORIGRAPH DX-1300"), 1, 3, 0, 2, 0, false)                                                     \
    ROW(TEXT("KORIGRAPH DX-1400"), 2, 3, 0x1, 6, 0x1, false)                                                 \
    ROW(TEXT("KORIGRAPH DX-2600"), 3, 2, 0x101, 4, 0x101, false)                                             \
    ROW(TEXT("KORIGRAPH DX-2650"), 3, 1, 0x102, 5, 0x102, true)                                              \
    ROW(TEXT("KORIGRAPH DX-2660"), 3, 3, 0x10107, 10, 0x10117, true)                                         \
    ROW(TEXT("KORIGRAPH DX-3600"), 4, 1, 0x103, 9, 0x103, false)                                             \
    ROW(TEXT("KORIGRAPH DX-3800"), 5, 1, 0x10107, 13, 0x90107, true)                                         \
    ROW(TEXT("KORIGRAPH DX-4600"), 6, 4, 0x40000, 3, 0x10, false)                                            \
    ROW(TEXT("KORIGRAPH DX-5360"), 7, 2, 0x101, 8, 0x101, false)                                             \
    ROW(TEXT("KORIGRAPH DX-5365"), 7, 4, 0x10107, 7, 0x10117, false)                                         \
    ROW(TEXT("KORIGRAPH DX-5370"), 3, 4, 0x1, 11, 0x1, false)                                                \
    ROW(TEXT("KORIGRAPH DX-5380"), 5, 2, 0x10107, 12, 0x90117, true)                                         \
    ROW(TEXT("KORIGRAPH DX-6100"), 3, 3, 0x1, 14, 0x11, false)                                               \
    ROW(TEXT("KORIGRAPH DX-6150"), 4, 4, 0x103, 15, 0x103, false)                                            \
    ROW(TEXT("KORIGRAPH DX-6200"), 5, 2, 0x10107, 16, 0x10107, true)                                         \
    ROW(TEXT("KORIGRAPH DX-6250"), 3, 1, 0x10107, 17, 0x90117, true)                                         \
    ROW(TEXT("KORIGRAPH DX-7100"), 6, 3, 0x40000, 18, 0x10, false)                                           \
    ROW(TEXT("KORIGRAPH DX-7150"), 7, 4, 0x101, 19, 0x101, false)                                            \
    ROW(TEXT("KORIGRAPH DX-7200"), 4, 2, 0x10107, 20, 0x10107, false)
