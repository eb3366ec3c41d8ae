// Command lines split into arguments as the shell splits them.
#include "user32/desktop_internal.h"

#include <algorithm>
#include <cstdlib>

using namespace sim;
using namespace sim::detail;

namespace
{
// The shell's rules: the program name ends at the next quote (quoted) or blank, without escapes; in
// later arguments 2n backslashes before a quote give n and toggle quoting, 2n+1 give n and a quote,
// and "" inside quotes gives a quote.
std::vector<WString> SplitCommandLine(WStringView line)
{
    std::vector<WString> args;
    size_t i = 0;
    WString first;
    if (i < line.size() && line[i] == u'"')
    {
        size_t end = line.find(u'"', 1);
        first = WString(line.substr(1, end == WStringView::npos ? WStringView::npos : end - 1));
        i = end == WStringView::npos ? line.size() : end + 1;
    }
    else
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t')
            first += line[i++];
    args.push_back(first);
    for (;;)
    {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        if (i >= line.size())
            break;
        WString arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t')))
        {
            if (line[i] == u'\\')
            {
                size_t n = 0;
                while (i < line.size() && line[i] == u'\\')
                {
                    ++n;
                    ++i;
                }
                if (i < line.size() && line[i] == u'"')
                {
                    arg.append(n / 2, u'\\');
                    if (n % 2)
                    {
                        arg += u'"';
                        ++i;
                    }
                }
                else
                    arg.append(n, u'\\');
            }
            else if (line[i] == u'"')
            {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"')
                {
                    arg += u'"';
                    i += 2;
                }
                else
                {
                    quoted = !quoted;
                    ++i;
                }
            }
            else
                arg += line[i++];
        }
        args.push_back(arg);
    }
    return args;
}
} // namespace

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* count)
{
    if (!count)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<WString> args;
    if (!commandLine || !*commandLine)
    {
        WCHAR self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        args.push_back(self);
    }
    else
        args = SplitCommandLine(commandLine);
    // One block: the pointer array, then the texts, so that one LocalFree releases it.
    size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
    for (const WString& a : args)
        bytes += (a.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<BYTE*>(std::calloc(1, bytes));
    if (!block)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* argv = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + (args.size() + 1) * sizeof(LPWSTR));
    for (size_t k = 0; k < args.size(); ++k)
    {
        argv[k] = text;
        std::copy(args[k].begin(), args[k].end(), text);
        text += args[k].size() + 1;
    }
    *count = static_cast<int>(args.size());
    return argv;
}
