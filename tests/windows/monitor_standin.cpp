// Stands in for the status monitor beside MonitorLauncher, and for the program the setup launcher
// starts: records how it was started (its command line and the show command it was given) in
// RXMonitor.log beside itself, then ends, with the code an "/exit <code>" argument names.
#include "drive.h"

int main()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : -1;

    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString log(self);
    log = log.substr(0, log.find_last_of(u'\\') + 1) + TEXT("RXMonitor.log");
    const std::string line =
        "show " + std::to_string(show) + " command " + drive::Utf8(GetCommandLineW()) + "\n";
    HANDLE file =
        CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    const std::vector<WString> args = drive::Arguments();
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == WString(TEXT("/exit")))
            return static_cast<int>(drive::Number(args[i + 1]));
    return 0;
}
