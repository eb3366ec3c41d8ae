// USB duplicators: device nodes with a USB printer interface whose handle answers the command channel
// (10-byte commands in, status replies and card data out) and the IEEE 1284 id query.
#include "devices/device_list.h"

#include "core/state.h"
#include "kernel32/device_io.h"
#include "user32/desktop_internal.h"

#include <algorithm>
#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr DWORD kGet1284Id = 0x16000C;
constexpr char kPrefix[] = "\x1B#12345X";
constexpr UINT kDevNodesChanged = 7;

struct Pending
{
    enum Kind
    {
        Read,
        Write,
        Control,
    } kind;
    OVERLAPPED* overlapped;
    HANDLE event;
    BYTE* buffer;
    DWORD size;
    DWORD thread;
    bool cancelRequested = false;
};

struct UsbDevice
{
    UsbDuplicator setup;
    UsbActivity activity;
    std::shared_ptr<DeviceNode> node;
    bool plugged = true;
    std::string input;  // written bytes short of a whole command
    std::string output; // bytes waiting to be read
    std::size_t readTotal = 0;
    std::size_t poll = 0;
    std::vector<Pending> pending;
};

struct UsbDevices : PartBase
{
    std::vector<std::shared_ptr<UsbDevice>> all; // the latest of a path last
};

UsbDevices& usb()
{
    return Part<UsbDevices>();
}

std::shared_ptr<UsbDevice> FindDeviceLocked(WStringView path, bool pluggedOnly)
{
    auto& all = usb().all;
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (EqualNoCase((*it)->node->interfaces.front().path, path) && (!pluggedOnly || (*it)->plugged))
            return *it;
    return nullptr;
}

// Ends a running request. One whose event is gone was released by its caller while still running:
// that is recorded, and nothing is written to memory the caller may have freed.
void Finish(UsbDevice& d, const Pending& p, DWORD error, DWORD bytes)
{
    if (p.event && !FindHandle(p.event))
    {
        ++d.activity.releasedInFlight;
        return;
    }
    CompleteOverlapped(p.overlapped, error, bytes);
}

// Bytes a read of `size` may take now.
DWORD Available(const UsbDevice& d, DWORD size)
{
    std::size_t n = std::min<std::size_t>(size, d.output.size());
    if (d.setup.maxPerRead)
        n = std::min<std::size_t>(n, d.setup.maxPerRead);
    if (d.setup.stallAfter)
        n = d.readTotal >= *d.setup.stallAfter ? 0 : std::min(n, *d.setup.stallAfter - d.readTotal);
    return static_cast<DWORD>(n);
}

DWORD Take(UsbDevice& d, BYTE* buffer, DWORD n)
{
    n = std::min<DWORD>(n, static_cast<DWORD>(d.output.size()));
    std::memcpy(buffer, d.output.data(), n);
    d.output.erase(0, n);
    d.readTotal += n;
    if (n)
        d.activity.reads.push_back(n);
    return n;
}

void PumpReads(UsbDevice& d)
{
    for (auto it = d.pending.begin(); it != d.pending.end();)
    {
        DWORD n = it->kind == Pending::Read && !it->cancelRequested ? Available(d, it->size) : 0;
        if (n == 0)
        {
            ++it;
            continue;
        }
        Pending p = *it;
        it = d.pending.erase(it);
        Finish(d, p, ERROR_SUCCESS, Take(d, p.buffer, n));
    }
}

void Receive(UsbDevice& d, std::string_view bytes)
{
    d.input.append(bytes);
    while (d.input.size() >= 10)
    {
        std::string frame = d.input.substr(0, 10);
        d.input.erase(0, 10);
        d.activity.frames.push_back(frame);
        if (frame.compare(0, 8, kPrefix) != 0 || frame[9] != 0)
        {
            ++d.activity.protocolErrors;
            continue;
        }
        switch (static_cast<BYTE>(frame[8]))
        {
        case 0xF0:
            d.poll = 0;
            break;
        case 0xF1: {
            const auto& busy = d.setup.busy;
            BYTE state = busy.empty() ? 0 : busy[std::min(d.poll, busy.size() - 1)];
            ++d.poll;
            std::uint32_t n =
                d.setup.reportedLength.value_or(static_cast<std::uint32_t>(d.setup.cardData.size()));
            const char reply[6] = {static_cast<char>(state),
                                   static_cast<char>(n >> 24),
                                   static_cast<char>((n >> 16) & 0xFF),
                                   static_cast<char>((n >> 8) & 0xFF),
                                   static_cast<char>(n & 0xFF),
                                   0};
            d.output.append(reply, 6);
            break;
        }
        case 0xF2:
            d.output.append(d.setup.cardData);
            break;
        default:
            ++d.activity.protocolErrors;
            break;
        }
    }
    PumpReads(d);
}

// Completes at once (with an OVERLAPPED, through it as well).
BOOL Done(OVERLAPPED* overlapped, DWORD* done, DWORD bytes)
{
    if (done)
        *done = bytes;
    if (overlapped)
        CompleteOverlapped(overlapped, ERROR_SUCCESS, bytes);
    return TRUE;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

struct UsbFile : DeviceFile
{
    std::shared_ptr<UsbDevice> device;

    ~UsbFile() override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        // Closing a handle ends what still runs on it.
        for (const Pending& p : std::exchange(d.pending, {}))
            Finish(d, p, ERROR_OPERATION_ABORTED, 0);
        d.activity.open = false;
        ++d.activity.closes;
    }

    // A request that cannot finish now: it pends (with an OVERLAPPED) until data, a cancel or an unplug.
    BOOL Pend(Pending::Kind kind, BYTE* buffer, DWORD size, OVERLAPPED* overlapped)
    {
        if (!overlapped)
            return Fail(ERROR_INVALID_PARAMETER); // a handle without overlapped requests would block for ever
        device->pending.push_back({kind, overlapped, overlapped->hEvent, buffer, size, GetCurrentThreadId()});
        return Fail(ERROR_IO_PENDING);
    }

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        if (!d.plugged)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        if (overlapped)
            StartOverlapped(overlapped);
        if (DWORD n = Available(d, size))
            return Done(overlapped, done, Take(d, static_cast<BYTE*>(buffer), n));
        return Pend(Pending::Read, static_cast<BYTE*>(buffer), size, overlapped);
    }

    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        if (!d.plugged)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        std::string_view bytes(static_cast<const char*>(buffer), size);
        bool applies = !d.setup.writeCode || (size >= 9 && static_cast<BYTE>(bytes[8]) == *d.setup.writeCode);
        DeviceWrite policy = applies ? d.setup.write : DeviceWrite::Accept;
        if (policy == DeviceWrite::Fail)
            return Fail(ERROR_WRITE_FAULT);
        if (overlapped)
            StartOverlapped(overlapped);
        switch (policy)
        {
        case DeviceWrite::Zero:
            return Done(overlapped, done, 0);
        case DeviceWrite::Pend:
            return Pend(Pending::Write, nullptr, size, overlapped);
        default:
            Receive(d, bytes);
            return Done(overlapped, done, size);
        }
    }

    BOOL Control(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* returned,
                 OVERLAPPED* overlapped) override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        if (!d.plugged)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        d.activity.ioctls.push_back(code);
        if (code != kGet1284Id || d.setup.ioctl == DeviceIoctl::Fail)
            return Fail(ERROR_INVALID_FUNCTION);
        if (!out)
            return Fail(ERROR_INVALID_USER_BUFFER);
        if (overlapped)
            StartOverlapped(overlapped);
        if (d.setup.ioctl == DeviceIoctl::Pending)
            return Pend(Pending::Control, static_cast<BYTE*>(out), outSize, overlapped);
        DWORD n = static_cast<DWORD>(std::min<std::size_t>(outSize, d.setup.idReply.size()));
        std::memcpy(out, d.setup.idReply.data(), n);
        return Done(overlapped, returned, n);
    }

    BOOL Cancel(const OVERLAPPED* overlapped) override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        bool found = false;
        for (Pending& p : d.pending)
            if (!p.cancelRequested &&
                (overlapped ? p.overlapped == overlapped : p.thread == GetCurrentThreadId()))
            {
                p.cancelRequested = true;
                ++d.activity.cancels;
                found = true;
            }
        if (overlapped && !found)
            return Fail(ERROR_NOT_FOUND);
        return TRUE;
    }

    void Settle(OVERLAPPED* overlapped) override
    {
        std::lock_guard g(StateLock());
        UsbDevice& d = *device;
        auto it = std::find_if(d.pending.begin(), d.pending.end(), [&](const Pending& p) {
            return p.overlapped == overlapped && p.cancelRequested;
        });
        if (it == d.pending.end())
            return;
        Pending p = *it;
        d.pending.erase(it);
        DWORD moved = 0;
        if (p.kind == Pending::Read)
            moved = Take(d, p.buffer, std::min(d.setup.bytesBeforeCancel, p.size));
        Finish(d, p, ERROR_OPERATION_ABORTED, moved);
    }
};

} // namespace

// Without StateLock held: the desktop's lock is taken.
void sim::detail::TellTopLevelWindows()
{
    std::vector<HWND> windows;
    {
        std::lock_guard g(Desk().mu);
        for (const auto& [handle, w] : Desk().windows)
            if (!w->parent && !(w->style & WS_CHILD))
                windows.push_back(handle);
    }
    for (HWND w : windows)
        PostMessageW(w, WM_DEVICECHANGE, kDevNodesChanged, 0);
}

namespace
{

WString Hex4(WORD v)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    WString out;
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(digits[(v >> shift) & 0xF]);
    return out;
}

WString Lower(WString s)
{
    for (auto& c : s)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

// Ends what runs on the device with `error` (with StateLock held).
void UnplugLocked(UsbDevice& d)
{
    d.plugged = false;
    d.node->present = false;
    std::erase(DeviceNodes(), d.node);
    for (const Pending& p : std::exchange(d.pending, {}))
        Finish(d, p, ERROR_DEVICE_NOT_CONNECTED, 0);
}
} // namespace

std::optional<HANDLE> sim::detail::OpenDevice(WStringView name, DWORD, DWORD, DWORD)
{
    bool deviceName = name.size() > 4 && (name.starts_with(u"\\\\?\\") || name.starts_with(u"\\\\.\\")) &&
                      !(name.size() > 5 && name[5] == u':');
    if (!deviceName)
        return std::nullopt;
    if (auto kernelDevice = OpenKernelDevice(name))
        return kernelDevice;
    std::lock_guard g(StateLock());
    auto device = FindDeviceLocked(name, true);
    if (!device)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (device->setup.open == DeviceOpen::AccessDenied)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (device->setup.open == DeviceOpen::SharingViolation || device->activity.open)
    {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<UsbFile>();
    file->device = device;
    device->activity.open = true;
    ++device->activity.opens;
    SetLastError(ERROR_SUCCESS);
    return AddHandle(file);
}

namespace sim
{
WString Devices::PathOf(const UsbDuplicator& device)
{
    if (!device.path.empty())
        return device.path;
    return u"\\\\?\\usb#vid_" + Lower(Hex4(device.vendorId)) + u"&pid_" + Lower(Hex4(device.productId)) +
           u"#" + device.serial + u"#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

void Devices::Plug(const UsbDuplicator& setup)
{
    {
        std::lock_guard g(StateLock());
        WString path = PathOf(setup);
        if (auto old = FindDeviceLocked(path, true))
            UnplugLocked(*old);
        auto d = std::make_shared<UsbDevice>();
        d->setup = setup;
        d->node = std::make_shared<DeviceNode>();
        WString ids = u"USB\\VID_" + Hex4(setup.vendorId) + u"&PID_" + Hex4(setup.productId);
        d->node->instanceId = ids + u"\\" + setup.serial;
        d->node->hardwareIds = {ids + u"&REV_0100", ids};
        d->node->className = u"USB";
        d->node->classGuid = kUsbClass;
        d->node->description = u"USB Printing Support";
        d->node->interfaces.push_back({kUsbPrintInterface, path});
        DeviceNodes().push_back(d->node);
        usb().all.push_back(d);
    }
    TellTopLevelWindows();
}

bool Devices::Unplug(WStringView path)
{
    {
        std::lock_guard g(StateLock());
        auto d = FindDeviceLocked(path, true);
        if (!d)
            return false;
        UnplugLocked(*d);
    }
    TellTopLevelWindows();
    return true;
}

UsbActivity Devices::Activity(WStringView path) const
{
    std::lock_guard g(StateLock());
    auto d = FindDeviceLocked(path, false);
    return d ? d->activity : UsbActivity{};
}

Devices& devices()
{
    static Devices instance;
    return instance;
}
} // namespace sim
