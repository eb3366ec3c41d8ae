// Texts of the user-interface DLL, loaded by number from its string table.
#pragma once

#include <platform/windows.h>

namespace velmoui
{

// The module whose resources the texts come from (kept at process attach).
void SetModuleInstance(HINSTANCE instance);
HINSTANCE ModuleInstance();

// The text of `id`, empty when the table has none.
WString UiString(UINT id);

// The string id of a paper's display name by paper id (0 and 257 are the output sizes' own rows);
// 0 when the id has none.
UINT PaperNameId(LONG paperId);

// "Version" and the driver version as major.minor (1835: 7.43).
WString VersionText();

} // namespace velmoui
