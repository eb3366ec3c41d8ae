// What the programs that drive the deliverables under Wine share: wide arguments, UTF-8 output and
// bounded waits. These programs are test tools, never shipped.
#pragma once

#include <platform/windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace drive
{

inline std::vector<WString> Arguments()
{
    std::vector<WString> result;
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count))
    {
        for (int i = 0; i < count; ++i)
            result.emplace_back(argv[i]);
        LocalFree(argv);
    }
    return result;
}

inline std::string Utf8(WStringView text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// Text as one line: a message box's line breaks are shown as "\n".
inline std::string OneLine(WStringView text)
{
    std::string out;
    for (char c : Utf8(text))
    {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

inline unsigned long Number(const WString& text)
{
    return std::strtoul(Utf8(text).c_str(), nullptr, 0);
}

// Polls `done` until it holds or `milliseconds` pass; the caller's own state tells what it found.
template <typename F> bool WaitFor(F done, DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;)
    {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
}

[[noreturn]] inline void Fail(const std::string& what)
{
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
    ExitProcess(1);
}

} // namespace drive
