// Stand-ins for the command interpreter and timeout.exe. The interpreter runs a "/c" line of
// "&"-joined commands in order: del and rd itself (when the machine was asked to), set in its own
// environment, any other command as a program found as cmd finds one, in the current folder first
// and then the system folder. It reads its own process's environment: %name% is expanded from it
// once, as the line is read, and the programs it starts inherit it.
#include "core/internal.h"

#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
const WStringView kSystemFolder = u"C:\\Windows\\System32";

// The text after " /c ", with cmd's quote rule: a leading quote and the last quote are dropped.
WString BodyOf(WStringView commandLine)
{
    WString folded = Fold(commandLine);
    size_t at = folded.find(Fold(u" /c "));
    if (at == WString::npos)
        return {};
    WString body(commandLine.substr(at + 4));
    if (!body.empty() && body.front() == u'"')
    {
        body.erase(0, 1);
        size_t last = body.find_last_of(u'"');
        if (last != WString::npos)
            body.erase(last, 1);
    }
    return body;
}

std::vector<WString> SplitCommands(WStringView body)
{
    std::vector<WString> out(1);
    bool quoted = false;
    for (WCHAR c : body)
    {
        if (c == u'"')
            quoted = !quoted;
        if (c == u'&' && !quoted)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::vector<WString> Tokens(WStringView command)
{
    std::vector<WString> out;
    size_t i = 0;
    while (i < command.size())
    {
        while (i < command.size() && command[i] == u' ')
            ++i;
        if (i >= command.size())
            break;
        WString token;
        bool quoted = false;
        while (i < command.size() && (quoted || command[i] != u' '))
        {
            if (command[i] == u'"')
                quoted = !quoted;
            else
                token += command[i];
            ++i;
        }
        out.push_back(token);
    }
    return out;
}

bool Exists(const WString& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WString Resolve(const WString& name, const WString& currentFolder)
{
    WString file = name;
    size_t slash = file.find_last_of(u'\\');
    if ((slash == WString::npos ? file : file.substr(slash + 1)).find(u'.') == WString::npos)
        file += u".exe";
    if (file.find_first_of(u"\\:") != WString::npos)
        return Exists(file) ? file : WString();
    for (WStringView folder : {WStringView(currentFolder), kSystemFolder})
        if (Exists(WString(folder) + u"\\" + file))
            return WString(folder) + u"\\" + file;
    return {};
}

DWORD RunProgram(const WString& path, const WString& commandText, const WString& currentFolder)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    WString line = commandText;
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &si, &pi))
        return 9009; // cmd's "not recognized"
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// %name% replaced by the variable's value; an unknown name stays as written, as cmd leaves it.
WString Expanded(const WString& text)
{
    DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    WString out(size, u'\0');
    DWORD n = size ? ExpandEnvironmentStringsW(text.c_str(), out.data(), size) : 0;
    if (n == 0 || n > size)
        return text;
    out.resize(n - 1);
    return out;
}

// set name=value: the value is the rest of the command; "set name=" takes the name away.
DWORD Set(const WString& command)
{
    size_t start = command.find_first_not_of(u' ');
    WString assignment = command.substr(command.find_first_not_of(u' ', start + 3));
    size_t equals = assignment.find(u'=');
    if (equals == 0 || equals == WString::npos)
        return 1;
    WString name = assignment.substr(0, equals);
    WString value = assignment.substr(equals + 1);
    while (!value.empty() && value.back() == u' ')
        value.pop_back();
    BOOL done = SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    return done || value.empty() ? 0 : 1;
}

DWORD Interpret(const StartedProcess& self, bool runDeletions)
{
    DWORD level = 0;
    for (const WString& command : SplitCommands(Expanded(BodyOf(self.commandLine))))
    {
        std::vector<WString> tokens = Tokens(command);
        if (tokens.empty())
            continue;
        const WString& verb = tokens[0];
        auto is = [&](WStringView name) { return EqualNoCase(verb, name); };
        std::vector<WString> paths;
        for (size_t i = 1; i < tokens.size(); ++i)
            if (!tokens[i].empty() && tokens[i][0] != u'/')
                paths.push_back(tokens[i]);
        if (is(u"set") && tokens.size() > 1)
        {
            level = Set(command);
            continue;
        }
        if (is(u"del") || is(u"erase") || is(u"rd") || is(u"rmdir"))
        {
            if (!runDeletions)
                continue;
            bool file = is(u"del") || is(u"erase");
            for (const WString& path : paths)
                level = (file ? DeleteFileW(path.c_str()) : RemoveDirectoryW(path.c_str())) ? 0 : 1;
            continue;
        }
        WString program = Resolve(tokens[0], self.currentDirectory);
        size_t start = command.find_first_not_of(u' ');
        level = program.empty() ? 9009 : RunProgram(program, command.substr(start), self.currentDirectory);
    }
    return level;
}

// timeout /T n [/NOBREAK]: waits n seconds.
DWORD Timeout(const StartedProcess& self)
{
    std::vector<WString> tokens = Tokens(self.commandLine);
    for (size_t i = 1; i + 1 < tokens.size(); ++i)
    {
        if (!EqualNoCase(tokens[i], u"/t"))
            continue;
        long seconds = 0;
        for (WCHAR c : tokens[i + 1])
        {
            if (c < u'0' || c > u'9' || seconds > 99999)
                return 1;
            seconds = seconds * 10 + (c - u'0');
        }
        Sleep(static_cast<DWORD>(seconds) * 1000);
        return 0;
    }
    return 1;
}
} // namespace

namespace sim
{
void Processes::InstallCommandInterpreter(bool runDeletions)
{
    files().Put(u"C:\\Windows\\System32\\cmd.exe");
    files().Put(u"C:\\Windows\\System32\\timeout.exe");
    RegisterStandIn(u"cmd.exe",
                    [runDeletions](const StartedProcess& self) { return Interpret(self, runDeletions); });
    RegisterStandIn(u"timeout.exe", Timeout);
}
} // namespace sim
