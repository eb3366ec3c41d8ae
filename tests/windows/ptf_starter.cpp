// Starts VelmoPrintToFile as the print-to-file component does: a named section holding the request,
// the helper started with the section's name, and the answer read back once it has ended.
//   ptf_starter save <helper> <folder>                       prints "path: <path>" or "path: none"
//   ptf_starter box <helper> <type> <timeout> <count> <text> <caption>   prints "answer: <n>"
//   ptf_starter unterminated <helper>     a text running to the end of its page; prints "answer: <n>"
#include "drive.h"

#include <cstring>

namespace
{
using drive::Fail;

constexpr DWORD kSection = 4096;
constexpr DWORD kHelperTime = 60000;

void PutText(BYTE* view, size_t at, WStringView text, bool terminate)
{
    for (size_t i = 0; i < text.size() && at + 2 * i + 1 < kSection; ++i)
    {
        view[at + 2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        view[at + 2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    if (terminate)
        view[at + 2 * text.size()] = view[at + 2 * text.size() + 1] = 0;
}

void PutU32(BYTE* view, size_t at, DWORD value)
{
    for (size_t i = 0; i < 4; ++i)
        view[at + i] = static_cast<BYTE>(value >> (8 * i));
}

DWORD U32(const BYTE* view, size_t at)
{
    return view[at] | view[at + 1] << 8 | view[at + 2] << 16 | static_cast<DWORD>(view[at + 3]) << 24;
}

void RunHelper(const WString& helper, const WString& section)
{
    WString command = TEXT("\"") + helper + TEXT("\" ") + section;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        Fail("cannot start the helper, error " + std::to_string(GetLastError()));
    if (WaitForSingleObject(process.hProcess, kHelperTime) != WAIT_OBJECT_0)
    {
        TerminateProcess(process.hProcess, 1);
        Fail("the helper did not end");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

int main()
{
    const std::vector<WString> args = drive::Arguments();
    if (args.size() < 3)
        Fail("usage: ptf_starter save|box|unterminated <helper> ...");
    const std::string mode = drive::Utf8(args[1]);
    const WString marker = mode == "save" ? WString(TEXT("velmo.getpath"))
                                          : WString(TEXT("velmo-ranth.4CF96C9C-7A46-4FC2-88F2-4B7AE5E194F7"));
    const WString section = TEXT("Local\\wine.") + marker + TEXT(".") +
                            WString(TEXT("0123456789")).substr(GetCurrentProcessId() % 10, 1);
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSection, section.c_str());
    auto* view = mapping ? static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (!view)
        Fail("no section");
    if (mode == "save")
    {
        if (args.size() < 4)
            Fail("save needs a folder");
        PutText(view, 0, args[3], true);
        RunHelper(args[2], section);
        WString path;
        for (size_t i = 0; i + 1 < MAX_PATH * 2 && (view[i] || view[i + 1]); i += 2)
            path.push_back(static_cast<WCHAR>(view[i] | view[i + 1] << 8));
        std::printf("path: %s\n", path.empty() ? "none" : drive::Utf8(path).c_str());
    }
    else if (mode == "box" || mode == "unterminated")
    {
        PutU32(view, 0, 0xDEADBEEF);
        PutU32(view, 4, 0x12345678);
        if (mode == "box")
        {
            if (args.size() < 8)
                Fail("box needs type, timeout, count, text and caption");
            PutU32(view, 8, static_cast<DWORD>(drive::Number(args[3])));
            PutU32(view, 12, static_cast<DWORD>(drive::Number(args[4])));
            PutU32(view, 16, static_cast<DWORD>(drive::Number(args[5])));
            PutText(view, 20, args[6], true);
            PutText(view, 20 + 2 * (args[6].size() + 1), args[7], true);
        }
        else
        {
            PutU32(view, 16, 1);
            PutText(view, 20, WString((kSection - 20) / 2, u'A'), false);
        }
        RunHelper(args[2], section);
        std::printf("answer: %lu\n", static_cast<unsigned long>(U32(view, 4)));
        if (U32(view, 0) != 0xDEADBEEF)
            Fail("the helper wrote outside its answer");
    }
    else
        Fail("unknown mode " + mode);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return 0;
}
