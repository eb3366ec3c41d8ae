#include <gtest/gtest.h>

#include <platform/crt.h>
#include <platform/shlobj.h>
#include <sim/machine.h>

#include <cerrno>

namespace
{

TEST(Com, ApartmentsPerThread)
{
    struct Step
    {
        bool enter;
        DWORD model;
        HRESULT expected;
    } steps[] = {
        {true, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE, S_OK},
        {true, COINIT_APARTMENTTHREADED, S_FALSE},
        {true, COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
        {false, 0, S_OK},
        {false, 0, S_OK}, // two entered, so two leave; the refused one does not count
        {true, COINIT_MULTITHREADED, S_OK},
    };
    for (const Step& s : steps)
    {
        if (s.enter)
            EXPECT_EQ(CoInitializeEx(nullptr, s.model), s.expected) << s.model;
        else
            CoUninitialize();
    }
    CoUninitialize();

    // Another thread has an apartment of its own.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
            return static_cast<DWORD>(hr);
        },
        nullptr, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    EXPECT_EQ(static_cast<HRESULT>(code), S_OK);
    CoUninitialize();
}

TEST(Com, CreationNeedsAnApartmentAKnownClassAndInterface)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoCreateInstance(IID_IShellItem, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOperation, &object),
              E_NOINTERFACE);
    IPersistFile* file = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                               reinterpret_cast<void**>(&file)),
              S_OK);
    IShellLinkW* link = nullptr;
    EXPECT_EQ(file->QueryInterface(IID_IShellLinkW, reinterpret_cast<void**>(&link)), S_OK);
    link->Release();
    file->Release();
    CoUninitialize();
}

HRESULT RunFileOperation(bool copy, const char16_t* source, const char16_t* folder = nullptr)
{
    IFileOperation* op = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                  reinterpret_cast<void**>(&op));
    if (FAILED(hr))
        return hr;
    op->SetOperationFlags(FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
    IShellItem* from = nullptr;
    IShellItem* to = nullptr;
    hr = SHCreateItemFromParsingName(source, nullptr, IID_IShellItem, reinterpret_cast<void**>(&from));
    if (SUCCEEDED(hr) && copy)
        hr = SHCreateItemFromParsingName(folder, nullptr, IID_IShellItem, reinterpret_cast<void**>(&to));
    if (SUCCEEDED(hr))
        hr = copy ? op->CopyItem(from, to, nullptr, nullptr) : op->DeleteItem(from, nullptr);
    if (SUCCEEDED(hr))
        hr = op->PerformOperations();
    if (from)
        from->Release();
    if (to)
        to->Release();
    op->Release();
    return hr;
}

TEST(ShellFileOperations, CopyKeepsTheNameAndDeleteTakesTheWholeFolder)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    sim::files().Put(u"C:\\Src\\app.exe", "program");
    sim::files().Put(u"C:\\Src\\data\\a.txt", "a");
    sim::files().Put(u"C:\\Src\\data\\deep\\b.txt", "b");
    sim::files().Put(u"C:\\Dest\\app.exe", "old");

    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\app.exe", u"C:\\Dest"), S_OK);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Dest\\app.exe"), "program") << "replaced without asking";
    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\data", u"C:\\Dest"), S_OK);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Dest\\data\\deep\\b.txt"), "b");

    ASSERT_TRUE(SetFileAttributesW(u"C:\\Src\\data\\deep\\b.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(RunFileOperation(false, u"C:\\Src\\data"), S_OK) << "read-only files go too";
    EXPECT_FALSE(sim::files().Exists(u"C:\\Src\\data"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\Src\\app.exe"));

    EXPECT_EQ(RunFileOperation(false, u"C:\\Src\\missing.exe"), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\missing.exe", u"C:\\Dest"), static_cast<HRESULT>(0x80070002));
    // A check of the source that fails is no missing source: its code comes back and the file stays
    // (the item's own check comes first).
    sim::faults().FailNext("GetFileAttributesW", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(RunFileOperation(false, u"C:\\Src\\app.exe"), static_cast<HRESULT>(0x80070005));
    EXPECT_TRUE(sim::faults().Pending().empty());
    EXPECT_TRUE(sim::files().Exists(u"C:\\Src\\app.exe"));

    // A file open without delete sharing is in use: nothing of it goes.
    HANDLE h = CreateFileW(u"C:\\Dest\\data\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunFileOperation(false, u"C:\\Dest\\data"), static_cast<HRESULT>(0x80070020));
    EXPECT_TRUE(sim::files().Exists(u"C:\\Dest\\data\\a.txt"));
    CloseHandle(h);
    CoUninitialize();
}

// Failures inside the operation come back with their own codes, and a copy whose close failed
// holds the file no longer: the caller can take back what was written.
TEST(ShellFileOperations, FailuresInsideKeepTheirCodesAndReleaseTheFile)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    sim::files().Put(u"C:\\Src\\app.exe", "program");
    sim::files().Put(u"C:\\Dest\\keep.txt", "");

    sim::faults().FailNext("CloseHandle", ERROR_GEN_FAILURE);
    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\app.exe", u"C:\\Dest"), static_cast<HRESULT>(0x8007001F));
    EXPECT_TRUE(DeleteFileW(u"C:\\Dest\\app.exe")) << GetLastError();
    // The source's close changes nothing of the copy.
    sim::faults().FailNext("CloseHandle", ERROR_GEN_FAILURE, 1, 1);
    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\app.exe", u"C:\\Dest"), S_OK);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Dest\\app.exe"), "program");
    EXPECT_TRUE(DeleteFileW(u"C:\\Dest\\app.exe") && DeleteFileW(u"C:\\Src\\app.exe")) << GetLastError();
    sim::files().Put(u"C:\\Src\\app.exe", "program");

    // The source's check is the third reading of attributes, after the two items'.
    sim::faults().FailNext("GetFileAttributesW", ERROR_GEN_FAILURE, 1, 2);
    EXPECT_EQ(RunFileOperation(true, u"C:\\Src\\app.exe", u"C:\\Dest"), static_cast<HRESULT>(0x8007001F));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Dest\\app.exe"));
    CoUninitialize();
}

TEST(ShellFileOperations, ACopyMakesAMissingDestinationFolder)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    sim::files().Put(u"C:\\Src\\app.exe", "program");
    sim::files().Put(u"C:\\Later\\x", "");
    IFileOperation* op = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                               reinterpret_cast<void**>(&op)),
              S_OK);
    IShellItem* from = nullptr;
    IShellItem* to = nullptr;
    ASSERT_EQ(SHCreateItemFromParsingName(u"C:\\Src\\app.exe", nullptr, IID_IShellItem,
                                          reinterpret_cast<void**>(&from)),
              S_OK);
    ASSERT_EQ(
        SHCreateItemFromParsingName(u"C:\\Later", nullptr, IID_IShellItem, reinterpret_cast<void**>(&to)),
        S_OK);
    ASSERT_EQ(op->CopyItem(from, to, u"renamed.exe", nullptr), S_OK);
    ASSERT_TRUE(DeleteFileW(u"C:\\Later\\x") && RemoveDirectoryW(u"C:\\Later"));
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Later\\renamed.exe"), "program");
    from->Release();
    to->Release();
    op->Release();
    CoUninitialize();
}

TEST(VersionRecords, TravelWithTheFileAndADamagedOneReadsAsNone)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    sim::files().SetVersion(u"C:\\Src\\app.exe", 1, 10, 3, 7);
    ASSERT_EQ(_wmkdir(u"C:\\Dest"), 0);
    ASSERT_EQ(RunFileOperation(true, u"C:\\Src\\app.exe", u"C:\\Dest"), S_OK);
    ASSERT_EQ(_wrename(u"C:\\Dest\\app.exe", u"C:\\Dest\\uninst.exe"), 0);

    DWORD size = GetFileVersionInfoSizeW(u"C:\\Dest\\uninst.exe", nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(u"C:\\Dest\\uninst.exe", 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x0001000Au);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00030007u);

    // A record whose fixed part claims more than the record holds.
    const BYTE damaged[] = {12, 0, 52, 0, 0, 0, 'V', 0, 0, 0, 0, 0};
    sim::files().SetVersionRecord(u"C:\\Src\\bad.exe", damaged);
    size = GetFileVersionInfoSizeW(u"C:\\Src\\bad.exe", nullptr);
    ASSERT_EQ(size, sizeof damaged);
    block.assign(size, 0);
    ASSERT_TRUE(GetFileVersionInfoW(u"C:\\Src\\bad.exe", 0, size, block.data()));
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<void**>(&fixed), &length));
    const BYTE truncated[] = {0xFF, 0x7F, 52, 0};
    sim::files().SetVersionRecord(u"C:\\Src\\short.exe", truncated);
    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\Src\\short.exe", nullptr), 0u);
    sim::files().Put(u"C:\\Src\\plain.exe", "no record");
    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\Src\\plain.exe", nullptr), 0u);
    CoUninitialize();
}

TEST(CrtFiles, MakeAndRenameFollowWindows)
{
    EXPECT_EQ(_wmkdir(u"C:\\New"), 0);
    EXPECT_EQ(_wmkdir(u"C:\\New"), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(_wmkdir(u"C:\\None\\Deeper"), -1);
    EXPECT_EQ(errno, ENOENT);

    sim::files().Put(u"C:\\New\\a.txt", "a");
    sim::files().Put(u"C:\\New\\b.txt", "b");
    EXPECT_EQ(_wrename(u"C:\\New\\a.txt", u"C:\\New\\b.txt"), -1) << "never onto an existing file";
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(_wrename(u"C:\\New\\missing.txt", u"C:\\New\\c.txt"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_wrename(u"C:\\New\\a.txt", u"C:\\New\\c.txt"), 0);
    EXPECT_EQ(sim::files().Bytes(u"C:\\New\\c.txt"), "a");
    EXPECT_FALSE(sim::files().Exists(u"C:\\New\\a.txt"));
}

TEST(ShellLinks, SavedFieldsReadBackAndThePropertyNeedsCommit)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    sim::files().Put(u"C:\\Links\\keep");
    for (bool commit : {false, true})
    {
        IShellLinkW* link = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
        EXPECT_EQ(link->SetPath(u"C:\\App\\uninst.exe"), S_OK);
        EXPECT_EQ(link->SetArguments(u""), S_OK);
        EXPECT_EQ(link->SetIconLocation(u"C:\\App\\uninst.exe", 4), S_OK);
        IPropertyStore* store = nullptr;
        ASSERT_EQ(link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)), S_OK);
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_LPWSTR;
        value.pwszVal = const_cast<LPWSTR>(u"Maker.App");
        EXPECT_EQ(store->SetValue(PKEY_AppUserModel_ID, value), S_OK);
        if (commit)
        {
            EXPECT_EQ(store->Commit(), S_OK);
        }
        IPersistFile* file = nullptr;
        ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
        EXPECT_EQ(file->Save(u"C:\\Links\\app.lnk", TRUE), S_OK);
        EXPECT_EQ(file->Save(u"C:\\NoFolder\\app.lnk", TRUE), static_cast<HRESULT>(0x80070003));
        file->Release();
        store->Release();
        link->Release();

        auto saved = sim::files().ReadShellLink(u"C:\\Links\\app.lnk");
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->target, u"C:\\App\\uninst.exe");
        EXPECT_EQ(saved->arguments, u"");
        EXPECT_EQ(saved->iconPath, u"C:\\App\\uninst.exe");
        EXPECT_EQ(saved->iconIndex, 4);
        EXPECT_EQ(saved->appUserModelId, commit ? u"Maker.App" : u"") << commit;
    }
    EXPECT_FALSE(sim::files().ReadShellLink(u"C:\\Links\\keep"));
    CoUninitialize();
}

TEST(SpecialFolders, ProgramFilesFollowsTheProgramsBitness)
{
    struct Case
    {
        bool system64, program32;
        int csidl;
        const char16_t* expected;
    } cases[] = {
        {true, false, CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
        {true, true, CSIDL_PROGRAM_FILES, u"C:\\Program Files (x86)"},
        {false, true, CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
        {true, false, CSIDL_PROGRAM_FILESX86, u"C:\\Program Files (x86)"},
        {true, true, CSIDL_COMMON_APPDATA, u"C:\\ProgramData"},
    };
    for (const Case& c : cases)
    {
        sim::machine().SetSystem64(c.system64);
        sim::machine().SetProgram32(c.program32);
        WCHAR path[MAX_PATH] = {};
        ASSERT_EQ(SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
        EXPECT_EQ(WString(path), c.expected) << c.system64 << c.program32 << c.csidl;
        EXPECT_EQ(GetFileAttributesW(path), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    }
    WCHAR path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x7777, nullptr, SHGFP_TYPE_CURRENT, path), E_INVALIDARG);
}

TEST(Environment, TwoCallReadsChangesAndExpansion)
{
    WCHAR small[4];
    DWORD need = GetEnvironmentVariableW(u"systemroot", small, 4);
    EXPECT_EQ(need, 11u) << "C:\\Windows and its terminator";
    WString value(need, 0);
    EXPECT_EQ(GetEnvironmentVariableW(u"SystemRoot", value.data(), need), need - 1);
    EXPECT_EQ(value.c_str(), WString(u"C:\\Windows"));

    EXPECT_TRUE(SetEnvironmentVariableW(u"ProgramData", nullptr));
    EXPECT_EQ(GetEnvironmentVariableW(u"ProgramData", small, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
    EXPECT_TRUE(SetEnvironmentVariableW(u"Mine", u"x"));

    struct Case
    {
        const char16_t* source;
        const char16_t* expected;
    } cases[] = {
        {u"%SystemRoot%\\System32\\timeout.exe", u"C:\\Windows\\System32\\timeout.exe"},
        {u"%ProgramData%\\x", u"%ProgramData%\\x"},
        {u"%MINE%%mine%", u"xx"},
        {u"100%", u"100%"},
        {u"%unknown%mine%", u"%unknown%mine%"},
    };
    for (const Case& c : cases)
    {
        WCHAR out[64];
        DWORD n = ExpandEnvironmentStringsW(c.source, out, 64);
        EXPECT_EQ(WString(out), c.expected);
        EXPECT_EQ(n, WString(c.expected).size() + 1);
    }
}

TEST(SystemMessages, KnownCodesHaveTextsOthersFail)
{
    WCHAR text[256];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 1024,
                             text, 256, nullptr);
    EXPECT_EQ(WString(text, n), u"Access is denied.\r\n");
    LPWSTR allocated = nullptr;
    n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                           FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       nullptr, 0x80070002, 1024, reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(WString(allocated, n), u"The system cannot find the file specified.\r\n");
    LocalFree(allocated);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345, 1024, text, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 1024, text, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CommandInterpreter, RunsItsDeletionsAfterTheWait)
{
    sim::processes().InstallCommandInterpreter(true);
    sim::files().Put(u"C:\\P\\Maker\\App\\uninst.exe");
    sim::files().Put(u"C:\\P\\Other\\keep.txt");
    WString line = u"\"C:\\Windows\\system32\\cmd.exe\" /c \"\"C:\\Windows\\System32\\timeout.exe\" /T 5 & "
                   u"del /Q  \"C:\\P\\Maker\\App\\uninst.exe\" & rd /Q  \"C:\\P\\Maker\\App\" & "
                   u"rd /Q  \"C:\\P\\Maker\" & rd /Q \"C:\\P\\Other\"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Read before the start: once every program waits the clock jumps on its own, so the whole run
    // may be over before this thread comes back from CreateProcessW.
    const ULONGLONG started = sim::virtualClock().Now();
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               u"C:\\Windows\\System32", &si, &pi));
    CloseHandle(pi.hThread);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    EXPECT_GE(sim::virtualClock().Now() - started, 5000u) << "the deletions come after the wait";
    EXPECT_FALSE(sim::files().Exists(u"C:\\P\\Maker"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\P\\Other\\keep.txt")) << "rd without /S leaves a folder with files";
    auto processes = sim::processes().Started();
    ASSERT_EQ(processes.size(), 2u);
    EXPECT_EQ(processes[0].commandLine, line);
    EXPECT_EQ(processes[1].applicationPath, u"C:\\Windows\\System32\\timeout.exe");
}

} // namespace
