// The graphics DLL's reading of the user interface's newer DEVMODE: such a DEVMODE, handed in by an
// application or stored as the printer's default, is taken by field name into this DLL's record.
#pragma once

#include "settings.h"

#include <span>

namespace velmo
{

// A DEVMODE of the UI's layout: its version and sizes, with its signature within the bytes supplied.
bool IsUiLayout(std::span<const BYTE> devMode);

// Merges a DEVMODE of the UI's layout under this DLL's merge rules. Paper 1 (letter) is this DLL's
// 258 and 43 (postcard) its 257; a named user paper is a custom size of its size; an output size
// "within the maximum" is the document's size with the reduction in the zoom; the UI's zoom mode has
// no field here.
void MergeUiLayout(SelfDMode& record, std::span<const BYTE> ui, const WCHAR* printerName, LONG forceCopies);

} // namespace velmo
