// The IP address control: typed by the user field by field, read and set by its messages, and the
// focus notifications of it and of an edit control beside it.
#include <gtest/gtest.h>

#include <platform/commctrl.h>
#include <sim/machine.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_heard;
HWND g_address = nullptr;
HWND g_edit = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
    {
        const char* what = HIWORD(wParam) == EN_SETFOCUS    ? "set"
                           : HIWORD(wParam) == EN_KILLFOCUS ? "kill"
                                                            : nullptr;
        if (what)
            g_heard.push_back(std::string(what) + " " + std::to_string(LOWORD(wParam)));
        return 0;
    }
    if (message == WM_NOTIFY)
    {
        auto* nm = reinterpret_cast<NMIPADDRESS*>(lParam);
        if (nm->hdr.code == IPN_FIELDCHANGED)
        {
            g_heard.push_back("field " + std::to_string(nm->iField) + "=" + std::to_string(nm->iValue));
            if (nm->iField == 3 && nm->iValue == 7)
                nm->iValue = 9; // the parent may change what was typed
        }
        return 0;
    }
    if (message == WM_CLOSE)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD Host()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.lpszClassName = u"AddressHost";
    RegisterClassExW(&wc);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&icc);
    HWND host = CreateWindowExW(0, u"AddressHost", u"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                nullptr, nullptr, nullptr, nullptr);
    g_address = CreateWindowExW(0, WC_IPADDRESSW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 120, 20,
                                host, reinterpret_cast<HMENU>(static_cast<LONG_PTR>(5)), nullptr, nullptr);
    g_edit = CreateWindowExW(0, WC_EDITW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 30, 120, 20, host,
                             reinterpret_cast<HMENU>(static_cast<LONG_PTR>(6)), nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    return 0;
}

constexpr DWORD Ip(int a, int b, int c, int d)
{
    return static_cast<DWORD>(MAKEIPADDRESS(a, b, c, d));
}

DWORD Address(HWND control, LRESULT* fields = nullptr)
{
    DWORD a = 0xDEADBEEF;
    LRESULT n = SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&a));
    if (fields)
        *fields = n;
    return a;
}

TEST(IpAddressControl, TypedAndSetAsWindowsDoesIt)
{
    g_heard.clear();
    auto& d = sim::desktop();
    d.Run(Host, [&] {
        ASSERT_TRUE(d.TopWindow(u"Host"));
        ASSERT_TRUE(g_address);
        LRESULT fields = -1;
        EXPECT_TRUE(SendMessageW(g_address, IPM_ISBLANK, 0, 0));
        EXPECT_EQ(Address(g_address, &fields), 0u);
        EXPECT_EQ(fields, 0);

        struct Case
        {
            const char16_t* typed;
            DWORD address;
            LRESULT fields;
            const char16_t* shown;
        };
        const Case cases[] = {
            {u"192.168.1.255", Ip(192, 168, 1, 255), 4, u"192.168.1.255"},
            {u"10.0", Ip(10, 0, 0, 0), 2, u"10.0.."},
            {u"1921681", Ip(192, 168, 1, 0), 3, u"192.168.1."}, // three digits move on
            {u"300.2.3.4", Ip(255, 2, 3, 4), 4, u"255.2.3.4"},  // held to the field's range
            {u"1.2.3.7", Ip(1, 2, 3, 9), 4, u"1.2.3.9"},        // the parent turns a last 7 into 9
        };
        for (const Case& c : cases)
        {
            ASSERT_TRUE(d.Type(g_address, c.typed));
            ASSERT_TRUE(d.Type(g_edit, u"x")); // leaves the control
            EXPECT_EQ(Address(g_address, &fields), c.address);
            EXPECT_EQ(fields, c.fields);
            EXPECT_EQ(d.Text(g_address), c.shown);
        }

        SendMessageW(g_address, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 0, 0, 255));
        EXPECT_EQ(Address(g_address, &fields), Ip(10, 0, 0, 255));
        EXPECT_EQ(fields, 4);
        EXPECT_EQ(d.Text(g_address), u"10.0.0.255");
        EXPECT_TRUE(SendMessageW(g_address, IPM_SETRANGE, 0, MAKEIPRANGE(1, 100)));
        EXPECT_FALSE(SendMessageW(g_address, IPM_SETRANGE, 4, MAKEIPRANGE(1, 100)));
        ASSERT_TRUE(d.Type(g_address, u"200.1.1.1"));
        ASSERT_TRUE(d.Type(g_edit, u"y"));
        EXPECT_EQ(Address(g_address), Ip(100, 1, 1, 1));
        SendMessageW(g_address, IPM_CLEARADDRESS, 0, 0);
        EXPECT_TRUE(SendMessageW(g_address, IPM_ISBLANK, 0, 0));
        EXPECT_EQ(d.Text(g_address), u"");
        SetWindowTextW(g_address, u"172.16.0.1");
        EXPECT_EQ(Address(g_address), Ip(172, 16, 0, 1));
        d.Close(d.TopWindow(u"Host"));
    });
    // The focus moved between the two controls each time, the one leaving told first.
    const std::vector<std::string> firstMoves = {"set 5", "field 0=192", "field 1=168", "field 2=1"};
    ASSERT_GE(g_heard.size(), firstMoves.size() + 3);
    EXPECT_EQ(std::vector<std::string>(g_heard.begin(), g_heard.begin() + 4), firstMoves);
    EXPECT_EQ(std::vector<std::string>(g_heard.begin() + 4, g_heard.begin() + 7),
              (std::vector<std::string>{"field 3=255", "kill 5", "set 6"}));
}
} // namespace
