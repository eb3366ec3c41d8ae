// The document sheet's pages.
#pragma once

#include <platform/windows.h>

namespace velmoui
{

// The dialog procedure of a document page template (either system's id); null for another id.
DLGPROC DocumentPageProcedure(WORD templateId);

} // namespace velmoui
