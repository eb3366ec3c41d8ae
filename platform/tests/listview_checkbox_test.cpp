// The user's click on a list view row's check box, as the parent window sees it.
#include <gtest/gtest.h>

#include <platform/commctrl.h>
#include <sim/machine.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_seen;
int g_refused = -1; // the row whose change the parent refuses

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY)
    {
        const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
        auto image = [](UINT state) { return std::to_string((state & LVIS_STATEIMAGEMASK) >> 12); };
        switch (nm->hdr.code)
        {
        case LVN_ITEMCHANGING:
            g_seen.push_back("changing " + std::to_string(nm->iItem) + " " + image(nm->uOldState) + "->" +
                             image(nm->uNewState) + " data " + std::to_string(nm->lParam));
            return nm->iItem == g_refused;
        case LVN_ITEMCHANGED:
            g_seen.push_back("changed " + std::to_string(nm->iItem) + " " + image(nm->uOldState) + "->" +
                             image(nm->uNewState) + ((nm->uNewState & LVIS_SELECTED) ? " selected" : ""));
            return 0;
        case NM_CLICK:
            g_seen.push_back("click " +
                             std::to_string(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem));
            return 0;
        default:
            return 0;
        }
    }
    if (message == WM_CLOSE)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Three rows: unchecked, checked, and one whose box was taken away (state image 0).
DWORD Owner()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"Owner";
    RegisterClassExW(&wc);
    InitCommonControls();
    HWND owner = CreateWindowExW(0, u"Owner", u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 200, 100,
                                owner, reinterpret_cast<HMENU>(1), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    const UINT images[] = {1, 2, 0};
    for (int i = 0; i < 3; ++i)
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(u"row");
        item.lParam = 10 + i;
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(images[i]);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    return 0;
}

UINT Image(HWND list, int row)
{
    return static_cast<UINT>(
               SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK)) >>
           12;
}

TEST(ListViewCheckBox, AClickTogglesTheBoxUnlessTheParentRefuses)
{
    g_seen.clear();
    g_refused = 1;
    auto& d = sim::desktop();
    std::vector<UINT> images;
    std::vector<std::string> messages;
    d.Run(Owner, [&] {
        HWND owner = d.TopWindow(u"Owner");
        ASSERT_TRUE(owner);
        HWND list = d.Control(owner, 1);
        EXPECT_TRUE(d.ClickCheckBox(list, 0));
        EXPECT_TRUE(d.ClickCheckBox(list, 1)); // refused: stays checked
        EXPECT_TRUE(d.ClickCheckBox(list, 0));
        for (int row = 0; row < 3; ++row)
            images.push_back(Image(list, row));
        d.SetFailureReporter([&](const std::string& m) { messages.push_back(m); });
        EXPECT_FALSE(d.ClickCheckBox(list, 2)) << "no box on that row";
        EXPECT_FALSE(d.ClickCheckBox(list, 3)) << "no such row";
        d.SetFailureReporter([](const std::string& m) { ADD_FAILURE() << m; });
        d.Close(owner);
    });
    EXPECT_EQ(images, (std::vector<UINT>{1, 2, 0}));
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(g_seen, (std::vector<std::string>{"changing 0 1->2 data 10", "changed 0 1->2", "click 0",
                                                "changing 1 2->1 data 11", "click 1",
                                                "changing 0 2->1 data 10", "changed 0 2->1", "click 0"}));
}

} // namespace
