// Single removal steps run on the test's own record: folder chains, firewall entries, registry entries.
#include "uninstaller_fixture.h"

#include "entries.h"
#include "log.h"
#include "os_index.h"
#include "worker.h"

#include <algorithm>

namespace uninstall::testing
{
namespace
{
class StepsTest : public UninstallerTest
{
protected:
    UninstallState& Prepare(WORD os, bool is64, bool silent, const Ini& fileList)
    {
        ResetState();
        UninstallState& s = State();
        BuildSectionTable(s);
        s.osIndex = os;
        s.osFlags = is64 ? kOs64Bit : 0;
        s.options = silent ? kOptionSilent : 0;
        s.logFlags = kLogFile;
        lstrcpynA(s.moduleFolder, (std::string(kFolderA) + "\\").c_str(), MAX_PATH);
        lstrcpynA(s.fileListIniPath, (std::string(kFolderA) + "\\Unflist.ini").c_str(), MAX_PATH);
        lstrcpynA(s.uiIniPath, (std::string(kFolderA) + "\\Uninst.ini").c_str(), MAX_PATH);
        Install(DefaultUiIni(), fileList);
        sim::files().Put(WString(kFolder) + u"\\_Setup.dll", "helper");
        return s;
    }
    void TearDown() override
    {
        ResetState();
        UninstallerTest::TearDown();
    }
};

TEST_F(StepsTest, FolderChainsStopAtTheFirstFolderThatStaysAndNeverTakeTheRoot)
{
    struct Case
    {
        const char* folder;
        const char* file; // a file that keeps its folder, if any
        std::vector<std::string> removed;
    };
    const std::vector<Case> cases = {
        {"C:\\Data\\One\\Two", nullptr, {"C:\\Data\\One\\Two", "C:\\Data\\One", "C:\\Data"}},
        {"C:\\Data\\One\\Two\\", nullptr, {"C:\\Data\\One\\Two", "C:\\Data\\One", "C:\\Data"}},
        {"C:\\Data\\One\\Two", "C:\\Data\\keep.txt", {"C:\\Data\\One\\Two", "C:\\Data\\One"}},
        {"C:\\Data\\One\\Two", "C:\\Data\\One\\Two\\keep.txt", {}},
        {"C:\\", nullptr, {}},
        {"C:", nullptr, {}},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        UninstallerTest::SetUp();
        Prepare(kOs10, true, true, DefaultFileListIni());
        CreateDirectoryA("C:\\Data", nullptr);
        CreateDirectoryA("C:\\Data\\One", nullptr);
        CreateDirectoryA("C:\\Data\\One\\Two", nullptr);
        if (c.file)
            sim::files().Put(W(c.file), "kept");
        EXPECT_TRUE(RemoveFolderChain(c.folder));
        std::vector<std::string> logged;
        for (const std::string& line : LogLines())
            logged.push_back(line.substr(2));
        EXPECT_EQ(logged, c.removed) << c.folder;
        EXPECT_TRUE(sim::files().Exists(u"C:\\Windows")) << c.folder;
        EXPECT_EQ(sim::files().Exists(u"C:\\Data\\One"), c.removed.size() < 2) << c.folder;
    }
}

TEST_F(StepsTest, AFolderChainScansDoubleByteNamesWhole)
{
    const std::string table = "\x95\x5c"; // its trail byte is a backslash's
    const std::string folder = "C:\\Data\\" + table + "\\Sub";
    sim::machine().SetCodePage(932);
    EXPECT_EQ(FolderChain(folder, "C:\\"),
              (std::vector<std::string>{folder, "C:\\Data\\" + table, "C:\\Data"}));
    EXPECT_EQ(FolderChain(folder + "\\", "C:\\"), FolderChain(folder, "C:\\"));
    sim::machine().SetCodePage(1252);
    // Taken byte by byte the trail byte would cut the name in two.
    EXPECT_EQ(FolderChain(folder, "C:\\").at(2), "C:\\Data\\\x95");
}

TEST_F(StepsTest, FirewallEntriesFollowTheSystemTheExportsAndTheKeptPort)
{
    Ini entries = DefaultFileListIni();
    entries.Set("ICF", "DELFILE_000", "C:\\App\\Tool.exe")
        .Set("ICF", "DELPORT_000", "19540;UDP")
        .Set("ICF", "DELPORT_001", "9100;TCP")
        .Set("ICF", "DELPORT_002", "abc;UDP")
        .Set("ICF", "DELPORT_003", "80")
        .Set("ICF", "DELPORT_004", "99999;TCP")
        .Set("ICF", "DELFILE2_000", "Velmo Q7;app")
        .Set("ICF", "DELFILE2_001", "NoSemicolon")
        .Set("ICF", "DELPORT2_000", "Velmo Port;19540")
        .Set("ICF", "DELPORT2_001", "Velmo Web;8080");
    const std::vector<std::string> all = {"Policy Velmo Q7",       "Policy Velmo Port", "Policy Velmo Web",
                                          "App C:\\App\\Tool.exe", "Port 1 19540",      "Port 0 9100"};
    struct Case
    {
        const char* what;
        WORD os;
        bool is64;
        bool silent;
        bool withEntries;
        int keepPort; // removeDeviceServerPort
        int result;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"2000", kOs2000, true, true, true, 1, 1, {}},
        {"XP not silent", kOsXp, false, false, true, 1, 1, {}},
        {"XP silent",
         kOsXp,
         false,
         true,
         true,
         1,
         1,
         {"App C:\\App\\Tool.exe", "Port 1 19540", "Port 0 9100"}},
        {"Vista without the policy export", kOsVista, false, true, true, 1, 1, {}},
        {"10", kOs10, true, false, true, 1, 1, all},
        {"10, device server kept",
         kOs10,
         true,
         false,
         true,
         0,
         1,
         {"Policy Velmo Q7", "Policy Velmo Web", "App C:\\App\\Tool.exe", "Port 0 9100"}},
        {"10, the helper refuses", kOs10, true, false, true, 1, 0, all},
        {"10, no entries", kOs10, true, false, false, 1, 1, {}},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        UninstallerTest::SetUp();
        firewallResult = c.result;
        UninstallState& s = Prepare(c.os, c.is64, c.silent, c.withEntries ? entries : DefaultFileListIni());
        s.removeDeviceServerPort = c.keepPort;
        RemoveFirewallEntries(s);
        EXPECT_EQ(recorded.firewallCalls, c.calls) << c.what;
        auto lines = LogLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** Firewall Information ***"),
                  c.calls.empty() ? 0 : 1)
            << c.what;
        EXPECT_EQ(static_cast<size_t>(std::count(lines.begin(), lines.end(), "    --> False.")),
                  c.result ? 0 : c.calls.size())
            << c.what;
    }
}

TEST_F(StepsTest, RegistryEntriesTakeTheirOwnFormsAndSkipWhatIsNotTheirs)
{
    auto put = [&](HKEY root, const char16_t* key, const char16_t* name = u"Note",
                   const std::string& v = "x") {
        sim::registry().SetValue(root, key, name, REG_SZ, WideBytes(v));
    };
    Ini list = DefaultFileListIni();
    list.Set("APPLICATION", "REG_000", "HLM;Software\\Velmo\\Plain")
        .Set("APPLICATION", "REG_001", "HLM;Software\\Velmo\\Parent")
        .Set("APPLICATION", "REG_002", "HCU;Software\\Velmo\\Links\\*.*")
        .Set("APPLICATION", "REG_003", "HCR;@cpl:{77}")
        .Set("APPLICATION", "REG_004", "HKLM;Software\\Velmo\\Wrong")
        .Set("APPLICATION", "REG_005", "HCU;Software\\Velmo\\Single")
        .Set("APPLICATION", "REG_006", "HLM;")
        .Set("APPLICATION", "REG_007", "HU;.DEFAULT\\Software\\Velmo");
    UninstallState& s = Prepare(kOs10, true, true, list);
    put(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Plain");
    put(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Parent\\Child");
    put(HKEY_CURRENT_USER, u"Software\\Velmo\\Links\\A", u"Shortcut", "C:\\Users\\User\\Desktop\\A.lnk");
    put(HKEY_CURRENT_USER, u"Software\\Velmo\\Links\\B", u"Shortcut", "C:\\Windows\\System32\\kernel32.dll");
    put(HKEY_CURRENT_USER, u"Software\\Velmo\\Single", u"Shortcut", "C:\\Users\\User\\Desktop\\S.url");
    put(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Wrong");
    put(HKEY_USERS, u".DEFAULT\\Software\\Velmo");
    // The chain stops at the first key that is missing: ShellFolder stays.
    put(HKEY_CLASSES_ROOT, u"CLSID\\{77}\\DefaultIcon");
    put(HKEY_CLASSES_ROOT, u"CLSID\\{77}\\ShellFolder");
    put(HKEY_LOCAL_MACHINE,
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{77}");
    for (const char16_t* f : {u"C:\\Users\\User\\Desktop\\A.lnk", u"C:\\Windows\\System32\\kernel32.dll",
                              u"C:\\Users\\User\\Desktop\\S.url"})
        sim::files().Put(f, "file");

    RemoveRegistryEntries(s);

    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Plain"));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Parent\\Child"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_CURRENT_USER, u"Software\\Velmo\\Links"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_CURRENT_USER, u"Software\\Velmo\\Single"));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Velmo\\Wrong"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_USERS, u".DEFAULT\\Software\\Velmo"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{77}\\DefaultIcon"));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{77}\\ShellFolder"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Users\\User\\Desktop\\A.lnk"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Users\\User\\Desktop\\S.url"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\System32\\kernel32.dll"));
    auto lines = LogLines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "  Delete: HKEY_CLASSES_ROOT\\CLSID\\{77}, Error(0x00000005)"),
        lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(),
                        "  Delete: HKEY_CLASSES_ROOT\\CLSID\\{77}\\Shell, Error(0x00000000)"),
              lines.end());
    EXPECT_TRUE(sim::registry().LoadedHives().empty());
}

TEST_F(StepsTest, RegistryEntryParsing)
{
    struct Case
    {
        const char* value;
        bool parses;
        RegForm form;
        const char* path;
    };
    for (const Case& c :
         {Case{"HLM;Software\\A", true, RegForm::Plain, "Software\\A"},
          Case{"hcu;Software\\A\\", true, RegForm::Plain, "Software\\A"},
          Case{"HCR;Software\\A\\*.*", true, RegForm::Tree, "Software\\A"},
          Case{"HCC;Software\\A*.*", true, RegForm::Tree, "Software\\A"},
          Case{"HU;@CPL:{1}", true, RegForm::ControlPanel, ""}, Case{"HLM;@CPL:", false, RegForm::Plain, ""},
          Case{"HLM;*.*", false, RegForm::Plain, ""}, Case{"HLM;\\Software", false, RegForm::Plain, ""},
          Case{"HLMSoftware", false, RegForm::Plain, ""}, Case{"XX;Software", false, RegForm::Plain, ""},
          Case{"HLM;@CPL:{1}\\..\\x", false, RegForm::Plain, ""}})
    {
        auto entry = ParseRegEntry(c.value);
        ASSERT_EQ(entry.has_value(), c.parses) << c.value;
        if (!entry)
            continue;
        EXPECT_EQ(entry->form, c.form) << c.value;
        EXPECT_EQ(entry->path, c.path) << c.value;
    }
    EXPECT_EQ(ParseRegEntry("HU;@CPL:{1}")->item, "{1}");
    EXPECT_FALSE(ParseSharedKey("Velmo"));
    EXPECT_FALSE(ParseSharedKey("Velmo;"));
    EXPECT_FALSE(ParseSharedKey("Velmo;Q7\\..\\.."));
    EXPECT_EQ(ParseSharedKey("Velmo;Q7;x")->product, "Q7");
}

} // namespace
} // namespace uninstall::testing
