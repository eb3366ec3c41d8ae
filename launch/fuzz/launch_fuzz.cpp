// Any bytes as Setup.ini (the section for a user language taken from the first two bytes, its path
// and option) and as a language file of the menu. The launcher ends with a program that exists or
// with one of its error codes; a language file stores at most one bounded value per slot.
#include "setup_launcher.h"
#include "string_table.h"

#include <platform/shlwapi.h>
#include <sim/machine.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace
{
const WString kIni = u"C:\\Media\\Setup.ini";
const WString kLanguageFile = u"C:\\Media\\Menu\\Languages\\ja.lng";

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        auto& m = sim::machine();
        m.Reset();
        sim::files().Put(u"C:\\Media\\Setup.exe");
        sim::files().Put(u"C:\\Media\\Menu\\Menu.exe");
        sim::files().Put(u"C:\\Media\\Driver\\KGSetup.exe");
        sim::processes().SetCallingProgram(u"C:\\Media\\Menu\\Menu.exe", u"Menu.exe");
        return true;
    }();
    Check(ready);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    LCID lcid = size >= 2 ? static_cast<LCID>(data[0] | data[1] << 8) : 0x0409;

    sim::files().Put(kIni, bytes);
    setuplauncher::LaunchPlan plan = setuplauncher::PlanLaunch("C:\\Media\\Setup.ini", "C:\\Media\\", lcid);
    Check(plan.error == 0 || plan.error == ERROR_FILE_NOT_FOUND || plan.error == ERROR_PATH_NOT_FOUND);
    if (plan.error == 0)
    {
        Check(PathFileExistsA(plan.target.c_str()) && !PathIsDirectoryA(plan.target.c_str()));
        Check(!plan.option ||
              (!plan.option->empty() && *plan.option != "FAILED" && plan.option->size() < 260));
    }

    sim::files().Put(kLanguageFile, bytes);
    static const launch::CMultilingualStringTable strings;
    launch::CMultilingualStringTable::Table table;
    int stored = strings.LoadLanguageFile(kLanguageFile.c_str(), table);
    Check(stored >= 0 && stored <= launch::kSlotCount);
    int filled = 0;
    for (const WString& value : table)
    {
        Check(value.size() <= 1023);
        filled += value.empty() ? 0 : 1;
    }
    Check(filled == stored);
    return 0;
}
