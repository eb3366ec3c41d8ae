#include "shell_files.h"
#include "uninstall_entry.h"

#include <gtest/gtest.h>

namespace kgsetup
{
namespace
{

TEST(SplitPath, PartsBetweenBackslashes)
{
    struct Case
    {
        const char16_t* text;
        std::vector<WString> parts;
    } cases[] = {
        {u"Velmo\\KORIGRAPH\\uninst.exe", {u"Velmo", u"KORIGRAPH", u"uninst.exe"}},
        {u"uninst.exe", {u"uninst.exe"}},
        {u"\\a\\\\b\\", {u"a", u"b"}},
        {u"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitPath(c.text), c.parts);
}

std::vector<BYTE> Record(DWORD signature, DWORD high, DWORD low, WORD claimed = 0)
{
    std::vector<BYTE> b(6);
    for (char c : std::string("VS_VERSION_INFO"))
        b.insert(b.end(), {static_cast<BYTE>(c), 0});
    b.insert(b.end(), {0, 0});
    while (b.size() % 4)
        b.push_back(0);
    DWORD fixed[13] = {signature, 0x10000, high, low};
    for (DWORD v : fixed)
        for (int k = 0; k < 4; ++k)
            b.push_back(static_cast<BYTE>(v >> (8 * k)));
    WORD length = claimed ? claimed : static_cast<WORD>(b.size());
    b[0] = static_cast<BYTE>(length);
    b[1] = static_cast<BYTE>(length >> 8);
    b[2] = 52;
    return b;
}

TEST(ParseFileVersion, ReadsTheFixedPartWithinItsBounds)
{
    auto sound = ParseFileVersion(Record(VS_FFI_SIGNATURE, 0x0001000A, 0x00020003));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->high, 0x0001000Au);
    EXPECT_EQ(sound->low, 0x00020003u);

    std::vector<BYTE> cut = Record(VS_FFI_SIGNATURE, 1, 1);
    cut.resize(cut.size() - 4);
    std::vector<BYTE> damaged[] = {
        Record(0x12345678, 1, 1),           // not a fixed part
        Record(VS_FFI_SIGNATURE, 1, 1, 60), // claims less than the fixed part needs
        cut,                                // claims more than there is
        {},
    };
    for (const auto& record : damaged)
        EXPECT_FALSE(ParseFileVersion(record)) << record.size();
}

TEST(SelfDeleteCommand, WaitsThenDeletesTheCopyAndItsFolders)
{
    const WString withShortcut =
        u"\"C:\\Windows\\system32\\cmd.exe\" /c \"\"C:\\Windows\\System32\\timeout.exe\" /NOBREAK /T 5"
        u" & del /Q \"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\KORIGRAPH Printer "
        u"Driver.lnk\""
        u" & rd /Q  \"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\""
        u" & del /Q  \"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe\" & rd /Q  \"C:\\P\\Velmo\\KORIGRAPH\" & rd /Q  "
        u"\"C:\\P\\Velmo\"\"";
    EXPECT_EQ(BuildSelfDeleteCommand(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe",
                                     u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u"C:\\ProgramData"),
              withShortcut);
    const WString withoutShortcut =
        u"\"C:\\Windows\\system32\\cmd.exe\" /c \"\"C:\\Windows\\System32\\timeout.exe\" /NOBREAK /T 5"
        u" & del /Q  \"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe\" & rd /Q  \"C:\\P\\Velmo\\KORIGRAPH\" & rd /Q  "
        u"\"C:\\P\\Velmo\"\"";
    EXPECT_EQ(BuildSelfDeleteCommand(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe /uninstall",
                                     u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u""),
              withoutShortcut)
        << "a trailing option is dropped";

    WString longIcon = u"C:\\" + WString(2000, u'a') + u"\\uninst.exe";
    const WString refused[] = {u"",
                               u"uninst.exe",
                               u"\"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe\"",
                               u"C:\\uninst.exe",
                               u"C:\\P\\%TEMP%\\uninst.exe",
                               u"C:\\P\\Velmo\\",
                               longIcon};
    for (const WString& icon : refused)
        EXPECT_FALSE(BuildSelfDeleteCommand(icon, u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u""))
            << icon.size();
    WString longFolder = u"C:\\" + WString(250, u'f') + u"\\Velmo\\uninst.exe";
    EXPECT_TRUE(BuildSelfDeleteCommand(longFolder, u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u""));
    EXPECT_FALSE(BuildSelfDeleteCommand(longFolder, u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows",
                                        u"C:\\ProgramData"))
        << "over 1,024 characters with the shortcut";
}

} // namespace
} // namespace kgsetup
