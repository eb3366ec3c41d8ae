// Any bytes as what a duplicator answers: the id reply, the status reply and the card data, read the
// way the card tool reads them, in the code pages 1252 and 932 (chosen by the first byte).
#include "card_data.h"
#include "usb_channel.h"

#include <sim/machine.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace
{
bool SetUpOnce()
{
    sim::machine().Reset();
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = SetUpOnce();
    if (!ready || size == 0)
        return 0;
    sim::machine().SetCodePage(data[0] & 1 ? 932 : 1252);
    std::span<const BYTE> bytes(data + 1, size - 1);

    WString id = tessicard::DeviceIdText(bytes);
    for (const WCHAR* key : {u"MFG:", u"MDL:", u"CMD:"})
        if (tessicard::DeviceIdValue(id, key).size() > id.size())
            __builtin_trap();

    if (auto reply = tessicard::CardDataStatusReply::Parse(bytes))
        (void)tessicard::AcceptableCardDataLength(reply->length);

    if (auto records = tessicard::CardRecords(bytes))
    {
        if (records->size() + tessicard::kCardDataHeader.size() != bytes.size() + 1)
            __builtin_trap();
        for (DWORD filter : {1u, 2u, 3u})
        {
            auto file = tessicard::CsvFileBytes(*records, filter);
            if (filter != tessicard::kFilterUtf8WithBom && (!file || file->size() + 1 != records->size()))
                __builtin_trap();
            if (filter == tessicard::kFilterUtf8WithBom && file && !file->starts_with("\xEF\xBB\xBF"))
                __builtin_trap();
        }
    }
    return 0;
}
