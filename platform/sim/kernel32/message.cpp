// The system's message texts, for the codes programs here report. Each ends with a line break, as
// Windows' own do; an unknown code fails with ERROR_MR_MID_NOT_FOUND.
#include "core/internal.h"

#include <cstdlib>
#include <cstring>
#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
const std::map<DWORD, WStringView>& SystemTexts()
{
    static const std::map<DWORD, WStringView> texts = {
        {0, u"The operation completed successfully."},
        {1, u"Incorrect function."},
        {2, u"The system cannot find the file specified."},
        {3, u"The system cannot find the path specified."},
        {5, u"Access is denied."},
        {6, u"The handle is invalid."},
        {8, u"Not enough memory resources are available to process this command."},
        {13, u"The data is invalid."},
        {14, u"Not enough memory resources are available to complete this operation."},
        {32, u"The process cannot access the file because it is being used by another process."},
        {50, u"The request is not supported."},
        {80, u"The file exists."},
        {87, u"The parameter is incorrect."},
        {122, u"The data area passed to a system call is too small."},
        {123, u"The filename, directory name, or volume label syntax is incorrect."},
        {126, u"The specified module could not be found."},
        {145, u"The directory is not empty."},
        {183, u"Cannot create a file when that file already exists."},
        {206, u"The filename or extension is too long."},
        {1056, u"An instance of the service is already running."},
        {1058, u"The service cannot be started, either because it is disabled or because it has no enabled "
               u"devices associated with it."},
        {1060, u"The specified service does not exist as an installed service."},
        {1062, u"The service has not been started."},
        {1150, u"The specified program requires a newer version of Windows."},
        {1151, u"The specified program was written for an earlier version of Windows."},
        {1155, u"No application is associated with the specified file for this operation."},
        {1223, u"The operation was canceled by the user."},
        {1460, u"This operation returned because the timeout period expired."},
        {1722, u"The RPC server is unavailable."},
        {1796, u"The specified port is unknown."},
        {1797, u"The printer driver is unknown."},
        {1801, u"The printer name is invalid."},
        {1802, u"The printer already exists."},
        {1805, u"The environment specified is invalid."},
        {1905, u"The printer has been deleted."},
        {1906, u"The state of the printer is invalid."},
        {3001, u"The specified printer driver is currently in use."},
        {3006, u"The specified print monitor is currently in use."},
        {3007, u"The requested operation is not allowed when there are jobs queued to the printer."},
        {3012, u"No printers were found."},
        {3019, u"The specified printer driver was not found on the system and needs to be downloaded."},
        {10091, u"WSAStartup cannot function at this time because the underlying system it uses to provide "
                u"network services is currently unavailable."},
        {10093, u"Either the application has not called WSAStartup, or WSAStartup failed."},
    };
    return texts;
}
} // namespace

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, va_list*)
{
    SIM_FAULT_POINT("FormatMessageW", 0);
    // Only system texts are kept, and they hold no inserts.
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) ||
        (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) || !buffer)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD code = messageId;
    if ((code & 0xFFFF0000) == 0x80070000) // an HRESULT made of a Win32 code reads as that code
        code &= 0xFFFF;
    auto it = SystemTexts().find(code);
    if (it == SystemTexts().end())
    {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    WString text = WString(it->second) + u"\r\n";
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
    {
        // `buffer` receives a LocalAlloc'd block (the C heap here, freed by LocalFree).
        size_t chars = std::max<size_t>(text.size() + 1, size);
        auto* block = static_cast<WCHAR*>(std::calloc(chars, sizeof(WCHAR)));
        if (!block)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        std::memcpy(buffer, &block, sizeof block);
        return static_cast<DWORD>(text.size());
    }
    if (size <= text.size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

// The same texts in the system code page.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                            DWORD size, va_list* arguments)
{
    if (!buffer)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LPWSTR wide = nullptr;
    DWORD length =
        FormatMessageW((flags | FORMAT_MESSAGE_ALLOCATE_BUFFER) & ~FORMAT_MESSAGE_MAX_WIDTH_MASK, source,
                       messageId, languageId, reinterpret_cast<LPWSTR>(&wide), 0, arguments);
    if (length == 0)
        return 0;
    std::string text = Narrow(WStringView(wide, length));
    LocalFree(wide);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
    {
        auto* block = static_cast<char*>(std::calloc(std::max<size_t>(text.size() + 1, size), 1));
        if (!block)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text.c_str(), text.size() + 1);
        std::memcpy(buffer, &block, sizeof block);
        return static_cast<DWORD>(text.size());
    }
    if (size <= text.size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
