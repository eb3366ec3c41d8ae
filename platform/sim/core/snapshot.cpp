// Snapshots of the machine: files by path with their size and a hash of their bytes, registry
// values with their type and bytes, the spooler's records by name, services, device nodes and the
// firewall's rules.
#include "core/internal.h"

#include <sim/device_tree.h>
#include <sim/firewall.h>
#include <sim/services.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace sim
{
namespace
{
std::string HashOf(std::string_view bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    char text[40];
    std::snprintf(text, sizeof text, "%zu:%016llx", bytes.size(), static_cast<unsigned long long>(h));
    return text;
}

std::string U8(WStringView text)
{
    return detail::ToUtf8(text);
}

void SandboxFiles(Snapshot& s)
{
    const fs::path root = files().Sandbox();
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    {
        std::string relative = fs::relative(it->path(), root, ec).generic_string();
        if (relative.size() < 1)
            continue;
        // "C/Windows/INF" is C:\Windows\INF; names keep the case they were made with.
        std::string name = relative.substr(0, 1) + ":";
        for (char c : relative.substr(1))
            name += c == '/' ? '\\' : c;
        if (it->is_directory(ec))
        {
            s.entries["dir " + name] = "";
            continue;
        }
        std::ifstream in(it->path(), std::ios::binary);
        s.entries["file " + name] = HashOf(std::string(std::istreambuf_iterator<char>(in), {}));
    }
}

void Keys(Snapshot& s, HKEY key, const std::string& path, int depth)
{
    if (depth > 64)
        return;
    for (DWORD i = 0;; ++i)
    {
        WCHAR name[16384];
        DWORD nameSize = 16384, type = 0, dataSize = 0;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(dataSize + 2);
        nameSize = 16384;
        DWORD got = dataSize;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data.data(), &got) != ERROR_SUCCESS)
            break;
        s.entries["reg " + path + " : " + U8(WStringView(name, nameSize))] =
            std::to_string(type) + " " + HashOf(std::string_view(reinterpret_cast<char*>(data.data()), got));
    }
    for (DWORD i = 0;; ++i)
    {
        WCHAR name[256];
        DWORD nameSize = 256;
        if (RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::string sub = path + "\\" + U8(WStringView(name, nameSize));
        s.entries["key " + sub] = "";
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        Keys(s, child, sub, depth + 1);
        RegCloseKey(child);
    }
}

std::string Multi(const std::vector<WString>& list)
{
    std::string out;
    for (const WString& w : list)
        out += U8(w) + ";";
    return out;
}

void Spooled(Snapshot& s)
{
    for (const StorePackage& p : spooler().Packages())
        s.entries["package " + U8(p.publishedName)] = U8(p.storeInfPath) + " " + U8(p.originalInfPath);
    for (const DriverSetup& d : spooler().Drivers())
        s.entries["driver " + U8(d.name) + " | " + U8(d.environment) + " | " + std::to_string(d.version)] =
            U8(d.driverPath) + " " + U8(d.dataFile) + " " + U8(d.configFile) + " " + U8(d.infPath) + " " +
            U8(d.printProcessor) + " " + U8(d.monitorName) + " " + Multi(d.dependentFiles) + " " +
            std::to_string(d.driverVersion);
    for (const PrinterSetup& p : spooler().Printers())
        s.entries["printer " + U8(p.name)] = U8(p.driverName) + " " + U8(p.portName) + " " +
                                             U8(p.printProcessor) + " " + std::to_string(p.attributes) + " " +
                                             U8(p.driverPath);
    for (const PortSetup& p : spooler().Ports())
        s.entries["port " + U8(p.name)] = U8(p.monitor) + " " + U8(p.description);
    for (const WString& p : spooler().PrintProcessors())
        s.entries["processor " + U8(p)] = "";
    for (const JobSetup& j : spooler().Jobs())
        s.entries["job " + std::to_string(j.id)] = U8(j.printerName) + " " + U8(j.document);
}

// Services by their settled state (a pending one as it will settle), device nodes by id.
void Managed(Snapshot& s)
{
    for (const WString& name : services().Names())
    {
        DWORD state = services().State(name).value_or(0);
        if (state == SERVICE_START_PENDING)
            state = SERVICE_RUNNING;
        else if (state == SERVICE_STOP_PENDING)
            state = SERVICE_STOPPED;
        s.entries["service " + U8(name)] = std::to_string(state);
    }
    for (const DeviceNodeSetup& n : deviceTree().Nodes())
        s.entries["device " + U8(n.instanceId)] = std::string(n.present ? "present " : "absent ") +
                                                  U8(n.className) + " " + U8(n.driverKey) + " " +
                                                  U8(n.friendlyName.value_or(WString()));
}
// The firewall's rules by name; a name may repeat, so each is also counted.
void Walls(Snapshot& s)
{
    std::map<std::string, int> seen;
    for (const FirewallRule& r : firewall().Rules())
    {
        const std::string name = U8(r.name);
        s.entries["firewall " + name + " #" + std::to_string(seen[name]++)] =
            U8(r.applicationName) + " " + U8(r.grouping) + " " + U8(r.description) + " " +
            std::to_string(r.protocol) + " " + std::to_string(r.direction) + " " + std::to_string(r.action) +
            " " + std::to_string(r.profiles) + (r.enabled ? " enabled" : " disabled");
    }
}
} // namespace

Snapshot TakeSnapshot()
{
    Snapshot s;
    SandboxFiles(s);
    Keys(s, HKEY_LOCAL_MACHINE, "HKLM", 0);
    Keys(s, HKEY_USERS, "HKU", 0);
    Spooled(s);
    Managed(s);
    Walls(s);
    return s;
}

std::vector<std::string> Difference(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> out;
    for (const auto& [key, value] : before.entries)
    {
        auto it = after.entries.find(key);
        if (it == after.entries.end())
            out.push_back("- " + key);
        else if (it->second != value)
            out.push_back("~ " + key);
    }
    for (const auto& [key, value] : after.entries)
        if (!before.entries.count(key))
            out.push_back("+ " + key);
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return a.substr(2) < b.substr(2); });
    return out;
}

} // namespace sim
