#include <gtest/gtest.h>

#include <sim/machine.h>

#include <cstring>

namespace
{
using sim::RegistryView;

LSTATUS SetDword(HKEY root, const char16_t* key, REGSAM sam, DWORD value)
{
    HKEY h = nullptr;
    LSTATUS s = RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | sam, nullptr, &h, nullptr);
    if (s != ERROR_SUCCESS)
        return s;
    s = RegSetValueExW(h, u"V", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(h);
    return s;
}

TEST(Registry, ThirtyTwoBitProgramsSeeTheirOwnViewOfMachineSoftware)
{
    auto& m = sim::machine();
    m.SetProgram32(true);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, 32), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"software\\Vendor", KEY_WOW64_64KEY, 64), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"SOFTWARE\\Vendor", 0, 7), ERROR_SUCCESS);

    auto wow = sim::registry().Value(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"V", RegistryView::Wow32);
    auto native = sim::registry().Value(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"V", RegistryView::Native);
    ASSERT_TRUE(wow && native);
    EXPECT_EQ(wow->data[0], 32);
    EXPECT_EQ(native->data[0], 64);
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor"));
    // The user's hive is shared by both views.
    EXPECT_EQ(
        sim::registry().Value(HKEY_CURRENT_USER, u"Software\\vendor", u"v", RegistryView::Wow32)->data[0], 7);

    // On a 32-bit system there is only one view.
    m.Reset();
    m.SetSystem64(false);
    m.SetProgram32(true);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, 1), ERROR_SUCCESS);
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor"));
}

TEST(Registry, AnsiAndWideFunctionsShareOneStoreThroughTheCodePage)
{
    auto& m = sim::machine();
    m.SetCodePage(932);
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Test", &h), ERROR_SUCCESS);
    const char sjis[] = "\x93\xfa\x96\x7b"; // two kanji in code page 932
    ASSERT_EQ(RegSetValueExA(h, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(sjis), sizeof sjis),
              ERROR_SUCCESS);

    WCHAR wide[8] = {};
    DWORD cb = sizeof wide, type = 0;
    ASSERT_EQ(RegQueryValueExW(h, u"NAME", nullptr, &type, reinterpret_cast<BYTE*>(wide), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cb, 6u);
    EXPECT_EQ(WString(wide), u"\u65e5\u672c");

    // Reading back through the A function converts again; sizes follow the two-call protocol.
    DWORD need = 0;
    ASSERT_EQ(RegQueryValueExA(h, "Name", nullptr, nullptr, nullptr, &need), ERROR_SUCCESS);
    EXPECT_EQ(need, sizeof sjis);
    char narrow[8] = {};
    DWORD small = need - 1;
    EXPECT_EQ(RegQueryValueExA(h, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &small),
              ERROR_MORE_DATA);
    EXPECT_EQ(small, need);
    ASSERT_EQ(RegQueryValueExA(h, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &need),
              ERROR_SUCCESS);
    EXPECT_STREQ(narrow, sjis);
    RegCloseKey(h);
}

TEST(Registry, RightsAndLifetimeAreEnforced)
{
    auto& m = sim::machine();
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\A\\B", &h), ERROR_SUCCESS);
    RegCloseKey(h);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\A", 0, KEY_READ, &h), ERROR_SUCCESS);
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExW(h, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(h);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\A"), ERROR_ACCESS_DENIED) << "has a subkey";
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\A\\B", 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"software\\a\\b"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(h, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_KEY_DELETED);
    RegCloseKey(h);

    m.SetAdministrator(false);
    EXPECT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\New", &h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST(Registry, EnumerationAndInjectedFaults)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\E\\beta", &h), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\E\\Alpha", &h), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\E", 0, KEY_READ, &h), ERROR_SUCCESS);
    WCHAR name[6];
    DWORD cch = 6;
    ASSERT_EQ(RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(WString(name), u"Alpha");
    cch = 4;
    EXPECT_EQ(RegEnumKeyExW(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = 6;
    EXPECT_EQ(RegEnumKeyExW(h, 2, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(h);

    sim::faults().FailNext("RegOpenKeyExW", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\E", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\E", 0, KEY_READ, &h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\E", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
}
} // namespace
