#include "finder_text.h"

#include "rxfinder_resource.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace rxfinder
{
namespace
{
WString FromAscii(const char* text)
{
    return WString(text, text + std::char_traits<char>::length(text));
}
} // namespace

std::uint16_t ClampSetting(std::uint32_t value)
{
    return static_cast<std::uint16_t>(std::clamp<std::uint32_t>(value, 1, 65535));
}

WString DottedAddress(BYTE a, BYTE b, BYTE c, BYTE d)
{
    char text[16] = {};
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", a, b, c, d);
    return FromAscii(text);
}

WString MacText(std::span<const std::uint8_t, 6> mac)
{
    char text[18] = {};
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return FromAscii(text);
}

WString WebPageUrl(std::span<const std::uint8_t, 4> address)
{
    return FromAscii("http://") + DottedAddress(address[0], address[1], address[2], address[3]);
}

WString FieldText(std::span<const char> field)
{
    const auto end = std::find(field.begin(), field.end(), '\0');
    const int bytes = static_cast<int>(end - field.begin());
    if (bytes == 0)
        return {};
    const int chars = MultiByteToWideChar(CP_ACP, 0, field.data(), bytes, nullptr, 0);
    if (chars <= 0)
        return {};
    std::vector<WCHAR> wide(static_cast<std::size_t>(chars));
    const int made = MultiByteToWideChar(CP_ACP, 0, field.data(), bytes, wide.data(), chars);
    return WString(wide.data(), static_cast<std::size_t>(std::max(made, 0)));
}

int ColumnWidth(int clientWidth, int percent)
{
    return MulDiv(clientWidth, percent, 100);
}

WString LoadText(HINSTANCE instance, UINT id)
{
    WCHAR buffer[256] = {};
    const int n = LoadStringW(instance, id, buffer, 256);
    return WString(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void SetDialogIcons(HINSTANCE instance, HWND window)
{
    HANDLE big = LoadImageW(instance, MAKEINTRESOURCEW(IDI_RXFINDER), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    HANDLE small = LoadImageW(instance, MAKEINTRESOURCEW(IDI_RXFINDER), IMAGE_ICON, 16, 16, 0);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

} // namespace rxfinder
