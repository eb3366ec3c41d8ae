// What a removal may leave on purpose, as a snapshot difference shows it.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kgsetup::test
{

// The lines of `change` a removal should not have left. Left on purpose: the folders the driver's
// files went into, the registry keys above the entry, the monitors and the printers, and
// taskkill.exe, which the machine puts in place the first time a program is looked for; `alsoLeft`
// says what a test's own machine adds to that.
inline std::vector<std::string> LeftAfterRemoval(const std::vector<std::string>& change,
                                                 const std::function<bool(const std::string&)>& alsoLeft)
{
    const std::string control = "+ key HKLM\\SYSTEM\\CurrentControlSet";
    const std::set<std::string> keys = {"+ key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                        control,
                                        control + "\\Control",
                                        control + "\\Control\\Print",
                                        control + "\\Control\\Print\\Monitors",
                                        control + "\\Control\\Print\\Printers",
                                        "+ file C:\\Windows\\System32\\taskkill.exe"};
    std::vector<std::string> left;
    for (const std::string& line : change)
        if (!line.starts_with("+ dir ") && !keys.count(line) && !alsoLeft(line))
            left.push_back(line);
    return left;
}

} // namespace kgsetup::test
