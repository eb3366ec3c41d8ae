#include "ui_strings.h"

#include "ui_settings.h"

#include <algorithm>

namespace velmoui
{

namespace
{
HINSTANCE g_instance = nullptr;
} // namespace

void SetModuleInstance(HINSTANCE instance)
{
    g_instance = instance;
}

HINSTANCE ModuleInstance()
{
    return g_instance;
}

WString UiString(UINT id)
{
    WCHAR buffer[260];
    int n = LoadStringW(g_instance, id, buffer, static_cast<int>(std::size(buffer)));
    return n > 0 ? WString(buffer, static_cast<size_t>(n)) : WString();
}

UINT PaperNameId(LONG paperId)
{
    switch (paperId)
    {
    case 8:
        return 541;
    case 9:
        return 542;
    case 11:
        return 543;
    case 12:
        return 544;
    case 13:
        return 545;
    case 43:
        return 546;
    case 5:
        return 547;
    case 1:
        return 548;
    case 6:
        return 549;
    case 3:
        return 550;
    case 256:
        return 551;
    case 257:
        return 606;
    case 0:
        return 607;
    default:
        return 0;
    }
}

WString VersionText()
{
    WCHAR buffer[1025];
    const DWORD version = _UdcGetDriverVersion();
    int n = wsprintfW(buffer, TEXT("%s %hu.%02hu"), UiString(621).c_str(),
                      static_cast<unsigned>(version >> 8), static_cast<unsigned>(version & 0xFF));
    return WString(buffer, static_cast<size_t>(std::max(n, 0)));
}

} // namespace velmoui
