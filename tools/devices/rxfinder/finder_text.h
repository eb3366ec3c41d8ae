// What the finder shows of a card, and the small pieces its two dialogs share.
#pragma once

#include <platform/windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace rxfinder
{

// A time-out or round count as the finder keeps it: 0 becomes 1, above 65535 becomes 65535.
std::uint16_t ClampSetting(std::uint32_t value);

// "a.b.c.d" of four bytes in the order given.
WString DottedAddress(BYTE a, BYTE b, BYTE c, BYTE d);
// "XX:XX:XX:XX:XX:XX", upper-case hexadecimal.
WString MacText(std::span<const std::uint8_t, 6> mac);
// "http://a.b.c.d" of an IPv4 address held first byte first.
WString WebPageUrl(std::span<const std::uint8_t, 4> address);
// A name field of 8-bit text in the system code page, up to its first zero byte or the field's end.
WString FieldText(std::span<const char> field);
// A column's width: that many per cent of the list's client width.
int ColumnWidth(int clientWidth, int percent);

// A string of the program's table ("" when it is missing).
WString LoadText(HINSTANCE instance, UINT id);
// The program's icon, big and small, on a dialog's caption.
void SetDialogIcons(HINSTANCE instance, HWND window);

} // namespace rxfinder
