// The classes every program finds registered: the dialog class and the controls.
#include "user32/controls.h"

using namespace sim;
using namespace sim::detail;

namespace
{
struct BuiltIn
{
    const char16_t* name;
    WNDPROC proc;
};
} // namespace

namespace sim::detail
{
const ControlState& ControlOf(const Window& window)
{
    static const ControlState kNone;
    return window.control ? *window.control : kNone;
}

void RegisterBuiltInClasses()
{
    static const BuiltIn kClasses[] = {
        {u"#32770", DialogWindowProc},   {WC_EDITW, EditProc},
        {WC_STATICW, StaticProc},        {WC_BUTTONW, ButtonProc},
        {WC_COMBOBOXW, ComboProc},       {WC_LISTBOXW, ListBoxProc},
        {UPDOWN_CLASSW, UpDownProc},     {TRACKBAR_CLASSW, TrackBarProc},
        {PROGRESS_CLASSW, ProgressProc}, {WC_TABCONTROLW, TabProc},
        {WC_LISTVIEWW, ListViewProc},    {WC_IPADDRESSW, IpAddressProc},
    };
    std::lock_guard g(Desk().mu);
    if (Desk().classes.count(Fold(u"#32770")))
        return;
    for (const BuiltIn& b : kClasses)
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = b.proc;
        wc.lpszClassName = b.name;
        RegisterClassLocked(wc, b.name);
    }
}
} // namespace sim::detail
