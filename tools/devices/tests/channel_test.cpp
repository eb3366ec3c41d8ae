#include <gtest/gtest.h>

#include <sim/machine.h>

#include "usb_channel.h"

#include <string>
#include <vector>

namespace tessicard
{
namespace
{
constexpr const char16_t* kClass = u"#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// Runs `body` on a simulated thread, where waits use the machine's clock.
template <typename F> void OnMachine(F body)
{
    sim::desktop().Run(
        [&] {
            body();
            return DWORD{0};
        },
        nullptr);
}

sim::UsbDuplicator Duplicator(std::string cardData = {})
{
    sim::UsbDuplicator d;
    d.cardData = std::move(cardData);
    return d;
}

TEST(UsbChannel, PathsAreFilteredByLowerCaseIdsAndGiveIdsAndSerial)
{
    struct Case
    {
        WString path;
        bool kept;
        WORD vendor, product;
        const char16_t* serial;
    };
    const Case cases[] = {
        {u"\\\\?\\usb#vid_155e&pid_0004#A1B2C3" + WString(kClass), true, 0x155E, 0x0004, u"A1B2C3"},
        {u"\\\\?\\usb#vid_155e&pid_0002#5&2a1b&0&1" + WString(kClass), true, 0x155E, 0x0002, u""},
        {u"\\\\?\\USB#VID_155E&PID_0004#A1B2C3" + WString(kClass), false, 0, 0, u"A1B2C3"},
        {u"\\\\?\\usb#vid_155e&pid_0003#Q7" + WString(kClass), false, 0x155E, 0x0003, u"Q7"},
        {u"\\\\?\\usb#vid_04b8&pid_0004#Q8" + WString(kClass), false, 0x04B8, 0x0004, u"Q8"},
    };
    CVelmoPrnIoCtrl channel;
    for (const Case& c : cases)
    {
        std::vector<WString> paths{c.path};
        const bool kept = channel.FilterByVendor(paths) == 1 && channel.FilterByProduct(paths) == 1;
        EXPECT_EQ(kept, c.kept) << std::string(c.path.begin(), c.path.end());
        DeviceIdentity id = IdentityFromPath(c.path);
        EXPECT_EQ(id.vendorId, c.vendor);
        EXPECT_EQ(id.productId, c.product);
        EXPECT_EQ(id.serialNumber, c.serial);
    }
    // Each pattern in turn picks its paths in path order.
    std::vector<WString> paths{u"b&pid_0004", u"a&pid_0002", u"c&pid_0004"};
    EXPECT_EQ(CVelmoPrnIoCtrl::FilterPaths(paths, {u"&pid_0002", u"&pid_0004"}), 3u);
    EXPECT_EQ(paths, (std::vector<WString>{u"a&pid_0002", u"b&pid_0004", u"c&pid_0004"}));
}

TEST(UsbChannel, CommandsAreTheRecordHeaderWithTheCode)
{
    auto command = BuildCommand(KglDeviceCommand::CardDataStatus);
    EXPECT_EQ(std::string(command.begin(), command.end()), std::string("\x1B#12345X\xF1\x00", 10));
    CVelmoPrnIoCtrl channel;
    EXPECT_EQ(channel.SendCommand(KglDeviceCommand::CardDataRequest), 0u) << "no device open";
}

TEST(UsbChannel, StatusRepliesAndIdTextAreReadWithinTheirBytes)
{
    const BYTE reply[] = {2, 0x01, 0x02, 0x03, 0x04, 9};
    auto parsed = CardDataStatusReply::Parse(reply);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->busy, 2);
    EXPECT_EQ(parsed->length, 0x01020304u);
    EXPECT_FALSE(CardDataStatusReply::Parse(std::span(reply).first(5)));

    struct Case
    {
        std::string bytes;
        const char16_t* model;
    };
    const Case cases[] = {
        {std::string("MFG:X;MDL:Y Z;CMD:K;\0MDL:after;", 31), u"Y Z"},
        {std::string("\0MFG:X;MDL:Y;", 13), u""},    // begins with a zero byte
        {"MDL:broken\nline;MDL:second;", u"second"}, // a value does not run over a line
        {"MFG:X;MDL:no end", u""},                   // no closing ';'
        {std::string(2047, 'A') + "MDL:Z;", u""},    // only 2047 bytes count
        {std::string(2030, 'A') + "MDL:fits;", u"fits"},
    };
    for (const Case& c : cases)
    {
        std::vector<BYTE> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(DeviceIdValue(DeviceIdText(bytes), u"MDL:"), c.model) << c.bytes.substr(0, 20);
    }
    sim::machine().SetCodePage(932);
    const std::vector<BYTE> japanese = {'M', 'D', 'L', ':', 0x83, 0x65, ';'}; // テ in Shift-JIS
    EXPECT_EQ(DeviceIdValue(DeviceIdText(japanese), u"MDL:"), u"\u30C6");
}

struct TransferCase
{
    const char* name;
    sim::UsbDuplicator device;
    DWORD length;
    bool result;
    DWORD moved;
    ULONGLONG elapsed;
    std::vector<DWORD> reads;
};

TEST(UsbChannel, TransfersMoveChunksAndGiveUpAfterThirtyFailedAttempts)
{
    sim::UsbDuplicator plain = Duplicator(std::string(5000, 'x'));
    sim::UsbDuplicator stalls = plain;
    stalls.stallAfter = 4096;
    sim::UsbDuplicator cancelledBytesCount = stalls;
    cancelledBytesCount.bytesBeforeCancel = 100;
    sim::UsbDuplicator silent = Duplicator();
    sim::UsbDuplicator trickles = plain;
    trickles.maxPerRead = 1000;
    const TransferCase cases[] = {
        {"chunks of 4096", plain, 5000, true, 5000, 0, {4096, 904}},
        {"short reads go on", trickles, 5000, true, 5000, 0, {1000, 1000, 1000, 1000, 1000}},
        {"a stall costs the remaining attempts", stalls, 5000, false, 4096, 30 * 1000, {4096}},
        {"bytes a cancelled read reports count",
         cancelledBytesCount,
         5000,
         true,
         5000,
         10 * 1000,
         {4096, 100, 100, 100, 100, 100, 100, 100, 100, 100, 4}},
        {"a device that never answers", silent, 6, false, 0, 30 * 1000, {}},
    };
    for (const TransferCase& c : cases)
    {
        sim::devices().Plug(c.device);
        const WString path = sim::Devices::PathOf(c.device);
        bool result = false;
        DWORD moved = 0;
        ULONGLONG elapsed = 0;
        std::vector<BYTE> buffer(c.length);
        OnMachine([&] {
            CVelmoPrnIoCtrl channel;
            ASSERT_TRUE(channel.OpenDevice(path));
            ASSERT_EQ(channel.SendCommand(KglDeviceCommand::CardDataRead), kCommandSize);
            ULONGLONG start = GetTickCount64();
            result = channel.Transfer(false, buffer.data(), c.length, moved);
            elapsed = GetTickCount64() - start;
        });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(moved, c.moved) << c.name;
        EXPECT_EQ(elapsed, c.elapsed) << c.name;
        const sim::UsbActivity activity = sim::devices().Activity(path);
        EXPECT_EQ(activity.reads, c.reads) << c.name;
        EXPECT_EQ(activity.releasedInFlight, 0) << c.name;
        EXPECT_EQ(activity.closes, activity.opens) << c.name;
        if (c.moved && !c.device.cardData.empty())
        {
            EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + c.moved),
                      c.device.cardData.substr(0, c.moved));
        }
        sim::devices().Unplug(path);
    }
}

TEST(UsbChannel, ATransferWithoutEventsEndsAfterThirtyAttempts)
{
    sim::UsbDuplicator d = Duplicator("data");
    sim::devices().Plug(d);
    bool result = true;
    DWORD moved = 9;
    OnMachine([&] {
        CVelmoPrnIoCtrl channel;
        ASSERT_TRUE(channel.OpenDevice(sim::Devices::PathOf(d)));
        sim::faults().FailNext("CreateEventW", ERROR_NOT_ENOUGH_MEMORY, kMaxFailedAttempts);
        BYTE buffer[4];
        result = channel.Transfer(false, buffer, 4, moved);
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(moved, 0u);
}

struct QueryCase
{
    const char* name;
    sim::UsbDuplicator device;
    const char16_t* manufacturer;
    const char16_t* model;
    const char16_t* commandSet;
    ULONGLONG elapsed;
};

TEST(UsbChannel, DetectionListsEveryDuplicatorAndClosesWhatItOpened)
{
    sim::UsbDuplicator ok = Duplicator();
    sim::UsbDuplicator busy = ok;
    busy.open = sim::DeviceOpen::SharingViolation;
    sim::UsbDuplicator denied = ok;
    denied.open = sim::DeviceOpen::AccessDenied;
    sim::UsbDuplicator silent = ok;
    silent.ioctl = sim::DeviceIoctl::Pending;
    sim::UsbDuplicator failing = ok;
    failing.ioctl = sim::DeviceIoctl::Fail;
    sim::UsbDuplicator endless = ok;
    endless.idReply = std::string(2048, 'A');
    const QueryCase cases[] = {
        {"answers", ok, u"VELMO", u"Tessi 4", u"KGL", 0},
        {"open by another program", busy, u"", u"", u"", 0},
        {"access denied", denied, u"", u"", u"", 0},
        {"the id query never ends", silent, u"", u"", u"", 1000},
        {"the id query fails", failing, u"", u"", u"", 0},
        {"an id without a zero byte", endless, u"", u"", u"", 0},
    };
    for (const QueryCase& c : cases)
    {
        sim::devices().Plug(c.device);
        sim::UsbDuplicator other = Duplicator();
        other.vendorId = 0x04B8;
        other.serial = u"OTHER";
        sim::devices().Plug(other);
        const WString path = sim::Devices::PathOf(c.device);
        CVelmoPrnIoCtrl::DeviceMap devices;
        ULONGLONG elapsed = 0;
        OnMachine([&] {
            CVelmoPrnIoCtrl channel;
            std::vector<WString> paths;
            ASSERT_EQ(channel.EnumPrinterInterfaces(paths), 2u);
            ASSERT_EQ(channel.FilterByVendor(paths), 1u);
            ASSERT_EQ(channel.FilterByProduct(paths), 1u);
            ULONGLONG start = GetTickCount64();
            EXPECT_EQ(channel.QueryDevices(paths), 1u);
            elapsed = GetTickCount64() - start;
            devices = channel.GetDevices();
        });
        ASSERT_EQ(devices.count(path), 1u) << c.name;
        const auto& info = devices.at(path);
        EXPECT_EQ(info.vendorId, 0x155E);
        EXPECT_EQ(info.productId, 0x0004);
        EXPECT_EQ(info.serialNumber, u"A1B2C3");
        EXPECT_EQ(info.manufacturer, c.manufacturer) << c.name;
        EXPECT_EQ(info.model, c.model) << c.name;
        EXPECT_EQ(info.commandSet, c.commandSet) << c.name;
        EXPECT_EQ(elapsed, c.elapsed) << c.name;
        const sim::UsbActivity activity = sim::devices().Activity(path);
        EXPECT_EQ(activity.closes, activity.opens) << c.name;
        EXPECT_FALSE(activity.open) << c.name;
        EXPECT_EQ(activity.releasedInFlight, 0) << c.name;
        EXPECT_EQ(activity.cancels, c.elapsed ? 1 : 0) << c.name;
        sim::devices().Unplug(path);
        sim::devices().Unplug(sim::Devices::PathOf(other));
    }
}

TEST(UsbChannel, EnumerationKeepsThePathsFoundBeforeADetailQueryFails)
{
    for (const char16_t* serial : {u"S1", u"S2", u"S3"})
    {
        sim::UsbDuplicator d = Duplicator();
        d.serial = serial;
        sim::devices().Plug(d);
    }
    struct Case
    {
        const char* fault;
        int skip;
        std::size_t found;
    };
    const Case cases[] = {{nullptr, 0, 3},
                          {"SetupDiGetDeviceInterfaceDetailW", 2, 1},
                          {"SetupDiGetDeviceInterfaceDetailW", 0, 0},
                          {"SetupDiGetClassDevsW", 0, 0}};
    for (const Case& c : cases)
    {
        std::vector<WString> paths{u"left over"};
        OnMachine([&] {
            if (c.fault)
                sim::faults().FailNext(c.fault, ERROR_INVALID_DATA, 1, c.skip);
            CVelmoPrnIoCtrl channel;
            channel.EnumPrinterInterfaces(paths);
        });
        EXPECT_EQ(paths.size(), c.found) << (c.fault ? c.fault : "no fault");
        if (!paths.empty())
        {
            EXPECT_TRUE(paths[0].ends_with(u"#S1" + WString(kClass)));
        }
    }
}

} // namespace
} // namespace tessicard
