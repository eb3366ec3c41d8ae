// The package's main job on the simulated machine: for now, the status monitor is started by its
// launcher as a user logging on would start it.
#include <platform/sim/machine.h>

#include <cstdio>
#include <string>

namespace
{
std::string Utf8(const WString& s)
{
    std::string out;
    for (char16_t c : s)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}
} // namespace

int main(int argc, char** argv)
{
    auto& m = sim::machine();
    m.Reset();
    const WString folder = u"C:\\Program Files\\VELMO\\Monitor";
    m.PutFile(folder + u"\\RXMonitor.exe");
    WString arguments;
    for (int i = 1; i < argc; ++i)
        for (const char* p = argv[i]; *p; ++p)
            arguments += static_cast<char16_t>(static_cast<unsigned char>(*p)), (void)0;
    DWORD exitCode = m.Run(folder + u"\\MonitorLauncher.exe", arguments);
    std::printf("MonitorLauncher.exe ended with exit code %u\n", exitCode);
    for (const auto& p : m.Started())
        std::printf("started: %s (show command %d)\n", Utf8(p.commandLine).c_str(), p.showCommand);
    auto show = m.GetRegistryValue(HKEY_CURRENT_USER, u"SOFTWARE\\VELMO\\STATWATCH", u"SHOW");
    if (show && !show->data.empty())
        std::printf("HKCU\\SOFTWARE\\VELMO\\STATWATCH SHOW = %u\n", show->data[0]);
    bool started = !m.Started().empty();
    m.Reset();
    return started ? 0 : 1;
}
