// The system's message texts for the error codes programs show, as FormatMessage gives them: each
// ends with a line break.
#include "core/internal.h"

#include <cstdlib>
#include <cstring>
#include <map>

namespace
{
const std::map<DWORD, WStringView>& SystemTexts()
{
    static const std::map<DWORD, WStringView> texts = {
        {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
        {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
        {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
        {ERROR_OLD_WIN_VERSION, u"The specified program requires a newer version of Windows.\r\n"},
        {ERROR_NO_ASSOCIATION,
         u"No application is associated with the specified file for this operation.\r\n"},
        {ERROR_CANCELLED, u"The operation was canceled by the user.\r\n"},
    };
    return texts;
}
} // namespace

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size, va_list*)
{
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto it = SystemTexts().find(messageId);
    if (it == SystemTexts().end())
    {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::string text = sim::detail::Narrow(it->second);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
    {
        auto* block = static_cast<char*>(std::malloc(std::max<size_t>(text.size() + 1, size)));
        if (!block)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text.c_str(), text.size() + 1);
        *reinterpret_cast<LPSTR*>(buffer) = block;
        return static_cast<DWORD>(text.size());
    }
    if (text.size() + 1 > size)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
