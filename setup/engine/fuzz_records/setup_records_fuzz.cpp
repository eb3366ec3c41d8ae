// Any bytes as a version record, as a registered DisplayIcon and as a version text; the first byte
// picks which. Each result must keep its promises: a version only from a sound record, a command
// only within its limit and with every path quoted.
#include "setup_context.h"
#include "shell_files.h"
#include "uninstall_entry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace
{
WString Wide(const uint8_t* data, size_t size)
{
    WString text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    return text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t* body = data + 1;
    size_t length = size - 1;
    switch (data[0] % 3)
    {
    case 0:
        if (auto version = kgsetup::ParseFileVersion({body, length}); version && length < 52)
            std::abort(); // a fixed part cannot come from fewer bytes than it has
        break;
    case 1:
        if (auto command = kgsetup::BuildSelfDeleteCommand(
                Wide(body, length), u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u"C:\\ProgramData"))
        {
            size_t quotes = 0;
            for (WCHAR c : *command)
                quotes += c == u'"';
            if (command->size() > kgsetup::kMaxSelfDeleteCommand || quotes % 2 != 0 || quotes < 12)
                std::abort();
        }
        break;
    default:
        kgsetup::ParseIeVersion(Wide(body, length));
        break;
    }
    return 0;
}
