// Each page template's dialog procedure, for either system's template id.
#include "page_document.h"
#include "page_preferences.h"
#include "page_print_to_file.h"
#include "sheet_state.h"

namespace velmoui
{

DLGPROC PageProcedure(WORD templateId)
{
    switch (templateId)
    {
    case kTemplatePreferences[0]:
    case kTemplatePreferences[1]:
        return PreferencesPageProc;
    case kTemplatePrintToFile[0]:
    case kTemplatePrintToFile[1]:
        return PrintToFilePageProc;
    default:
        return DocumentPageProcedure(templateId);
    }
}

} // namespace velmoui
