#include "device_search.h"

#include "ports.h"

#include <platform/commctrl.h>
#include <platform/winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kgsetup
{
namespace
{
// The two-call pattern of the spooler's enumerations: `each` sees every entry while the buffer lives.
template <typename Info, typename Call, typename Each> void Enumerate(Call call, Each each)
{
    std::vector<BYTE> buffer;
    DWORD needed = 0, returned = 0;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        if (call(buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                 &returned))
        {
            const size_t count = std::min<size_t>(returned, buffer.size() / sizeof(Info));
            for (size_t i = 0; i < count; ++i)
            {
                Info info;
                std::memcpy(&info, buffer.data() + i * sizeof(Info), sizeof info);
                each(info);
            }
            return;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
            return;
        buffer.assign(needed, 0);
    }
}

WString Text(const WCHAR* text)
{
    return text ? WString(text) : WString();
}

bool SameNoCase(WStringView a, WStringView b)
{
    return lstrcmpiW(WString(a).c_str(), WString(b).c_str()) == 0;
}

WString Ascii(const char* text)
{
    WString out;
    for (; *text; ++text)
        out += static_cast<WCHAR>(static_cast<unsigned char>(*text));
    return out;
}

// The list mutex held for a scope; `owned` tells whether it was had in time.
class ListLock
{
public:
    ListLock(HANDLE mutex, DWORD timeoutMs) : mutex_(mutex)
    {
        DWORD wait = WaitForSingleObject(mutex_, timeoutMs);
        owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~ListLock()
    {
        if (owned)
            ReleaseMutex(mutex_);
    }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
    bool owned = false;

private:
    HANDLE mutex_;
};

void SetColumn(HWND list, int item, int column, const WString& text)
{
    LVITEMW sub{};
    sub.iSubItem = column;
    sub.pszText = const_cast<WCHAR*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
}
} // namespace

LanguageChoices LanguagesOffered(UINT packageMask, UINT installLcid)
{
    LanguageChoices choices;
    for (const InstallLanguage& language : kInstallLanguages)
        if (packageMask & language.bit)
        {
            if (language.lcid == installLcid)
                choices.selected = static_cast<int>(choices.entries.size());
            choices.entries.push_back(language);
        }
    if (choices.selected < 0 && !choices.entries.empty())
        choices.selected = 0;
    return choices;
}

WString TextAfterLast(WStringView text, WCHAR separator)
{
    size_t at = text.rfind(separator);
    return at == WStringView::npos ? WString() : WString(text.substr(at + 1));
}

WString LptPortName(WStringView instanceId)
{
    WString port = TextAfterLast(instanceId, TEXT('&'));
    port = port.substr(0, port.find(TEXT('.')));
    if (!port.empty() && port.back() != TEXT(':'))
        port += TEXT(':');
    return port;
}

SpoolerLists ReadSpoolerLists()
{
    SpoolerLists lists;
    Enumerate<PORT_INFO_1W>(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* r) { return EnumPortsW(nullptr, 1, b, s, n, r); },
        [&](const PORT_INFO_1W& port) { lists.ports.push_back(Text(port.pName)); });
    Enumerate<PRINTER_INFO_2W>(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* r) {
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n, r);
        },
        [&](const PRINTER_INFO_2W& printer) {
            lists.printers.emplace_back(Text(printer.pPortName), Text(printer.pDriverName));
        });
    Enumerate<DRIVER_INFO_2W>([](BYTE* b, DWORD s, DWORD* n,
                                 DWORD* r) { return EnumPrinterDriversW(nullptr, nullptr, 2, b, s, n, r); },
                              [&](const DRIVER_INFO_2W& driver) {
                                  lists.drivers.emplace_back(Text(driver.pName), driver.cVersion);
                              });
    return lists;
}

bool PortTakenByDriverKind(const SpoolerLists& spooler, WStringView port, int driverKind)
{
    if (port.empty() ||
        std::ranges::none_of(spooler.ports, [&](const WString& p) { return SameNoCase(p, port); }))
        return false;
    auto printer =
        std::ranges::find_if(spooler.printers, [&](const auto& p) { return SameNoCase(p.first, port); });
    if (printer == spooler.printers.end())
        return false;
    auto driver = std::ranges::find_if(spooler.drivers,
                                       [&](const auto& d) { return SameNoCase(d.first, printer->second); });
    return driver != spooler.drivers.end() && driver->second == static_cast<DWORD>(driverKind);
}

FoundDevice UsbDevice(const LocalPrinterNode& node, const SpoolerLists& spooler, int driverKind)
{
    FoundDevice device;
    device.kind = 0;
    device.localKey = node.hardwareId;
    device.portName = TextAfterLast(node.instanceId, TEXT('&'));
    device.displayName = NormalizeModelName(node.busDescription);
    device.detail = TextAfterLast(node.parentId, TEXT('\\'));
    device.alreadyInstalled = PortTakenByDriverKind(spooler, device.portName, driverKind) ? 1 : 0;
    return device;
}

FoundDevice LptDevice(const LocalPrinterNode& node)
{
    FoundDevice device;
    device.kind = 2;
    device.localKey = node.hardwareId;
    device.portName = LptPortName(node.instanceId);
    device.displayName = NormalizeModelName(node.busDescription);
    return device;
}

FoundDevice CardDevice(const netfind::PrnSvrInfo& card)
{
    FoundDevice device;
    device.kind = 1;
    const char* name = card.printerName;
    const int length = static_cast<int>(std::find(name, name + sizeof card.printerName, '\0') - name);
    WCHAR wide[sizeof card.printerName] = {};
    const int units =
        length ? MultiByteToWideChar(CP_OEMCP, 0, name, length, wide, sizeof card.printerName) : 0;
    device.displayName = TEXT("Velmo ") + WString(wide, static_cast<size_t>(std::max(units, 0)));
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", card.ipv4[0], card.ipv4[1], card.ipv4[2], card.ipv4[3]);
    device.ipAddress = Ascii(text);
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", card.mac[0], card.mac[1], card.mac[2],
                  card.mac[3], card.mac[4], card.mac[5]);
    device.macAddress = Ascii(text);
    return device;
}

bool ModelShown(std::span<const WString> models, const WString& displayName)
{
    const WString name = NormalizeModelName(displayName);
    if (name.empty())
        return false;
    return std::ranges::any_of(models, [&](const WString& model) { return model.ends_with(name); });
}

std::vector<DeviceRow> RowsFor(std::span<const FoundDevice> found, std::span<const WString> models)
{
    std::vector<DeviceRow> rows;
    for (size_t i = 0; i < found.size(); ++i)
    {
        const FoundDevice& device = found[i];
        if (!ModelShown(models, device.displayName))
            continue;
        DeviceRow row;
        row.device = i;
        row.name = device.displayName;
        if (device.kind == 1)
        {
            row.location = device.ipAddress;
            row.detail = device.macAddress;
        }
        else
        {
            row.location = TEXT("Local");
            row.detail = device.kind == 0 ? TEXT("USB") : TEXT("LPT");
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::shared_ptr<discoverRX> discoverRX::Create(HWND page, WORD timeoutMs)
{
    auto rx = std::make_shared<discoverRX>(page, timeoutMs);
    return rx->listMutex_ ? rx : nullptr;
}

discoverRX::discoverRX(HWND page, WORD timeout) : CBaseThread(500), page(page), timeoutMs(timeout)
{
    found_.reserve(5);
    const WString name = WString(TEXT("RX_DISCOVER")) + RunningBuildId();
    listMutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
}

discoverRX::~discoverRX()
{
    Stop();
    if (listMutex_)
        CloseHandle(listMutex_);
}

void discoverRX::NotifyPage(UINT message) const
{
    PostMessageW(page, message, 0, 0);
}

void discoverRX::StartDiscovery()
{
    started_ = GetTickCount();
    Start();
}

void discoverRX::Run()
{
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
    {
        // Tried for one time-out: what the local search found is shown without the cards.
        if (GetTickCount() - started_ >= timeoutMs)
        {
            NotifyPage(WM_LIST_CHANGED);
            running = 0;
            return;
        }
        Sleep(200);
        return;
    }
    const std::vector<std::uint32_t> broadcasts = netfind::directedBroadcasts();
    netfind::setDiscoverParams(1, timeoutMs);
    constexpr std::uint32_t kRecords = 256;
    std::vector<netfind::PrnSvrInfo> cards(kRecords);
    std::uint32_t count = 0;
    if (netfind::discoverCards(broadcasts.empty() ? nullptr : broadcasts.data(),
                               static_cast<std::uint32_t>(broadcasts.size()), cards.data(),
                               kRecords * sizeof(netfind::PrnSvrInfo), nullptr, &count) == 1)
        for (std::uint32_t i = 0; i < std::min(count, kRecords); ++i)
        {
            FoundDevice card = CardDevice(cards[i]);
            ListLock lock(listMutex_, INFINITE);
            if (lock.owned && std::ranges::find(found_, card) == found_.end())
            {
                found_.push_back(std::move(card));
                listChanged_ = true;
            }
        }
    NotifyPage(WM_LIST_CHANGED);
    running = 0;
    WSACleanup();
}

void discoverRX::Add(const FoundDevice& device)
{
    ListLock lock(listMutex_, INFINITE);
    if (!lock.owned)
        return;
    // The same node may be listed by a search whose Clear could not take the list.
    if (std::ranges::any_of(found_, [&](const FoundDevice& d) {
            return d.kind == device.kind && d.localKey == device.localKey && d.portName == device.portName;
        }))
        return;
    found_.push_back(device);
    listChanged_ = true;
}

bool discoverRX::Clear()
{
    ListLock lock(listMutex_, static_cast<DWORD>(periodMs));
    if (!lock.owned)
        return false;
    found_.clear();
    listChanged_ = true;
    return true;
}

void discoverRX::SetModels(std::vector<WString> models)
{
    ListLock lock(listMutex_, INFINITE);
    if (!lock.owned)
        return;
    modelFilter_ = std::move(models);
    listChanged_ = true;
}

bool discoverRX::RefreshList(HWND listView, std::vector<FoundDevice>& shown)
{
    std::vector<FoundDevice> found;
    std::vector<WString> models;
    {
        ListLock lock(listMutex_, 1000);
        if (!lock.owned || !listChanged_)
            return false;
        found = found_;
        models = modelFilter_;
        listChanged_ = false;
    }
    SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    shown.clear();
    for (DeviceRow& row : RowsFor(found, models))
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(shown.size());
        item.pszText = row.name.data();
        item.lParam = static_cast<LPARAM>(shown.size());
        int index =
            static_cast<int>(SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (index < 0)
            continue;
        SetColumn(listView, index, 1, row.location);
        SetColumn(listView, index, 2, row.detail);
        shown.push_back(found[row.device]);
    }
    return true;
}

DeviceSearchThread::~DeviceSearchThread()
{
    Stop();
}

bool DeviceSearchThread::StartSearch(HWND page, std::shared_ptr<discoverRX> rx, DWORD timeoutMs,
                                     int driverKind)
{
    {
        std::lock_guard guard(mutex_);
        request_ = Request{page, std::move(rx), timeoutMs, driverKind, false, request_.generation + 1};
        if (busy_)
        {
            // The thread runs this request once the one under way gives up.
            if (request_.rx)
                request_.rx->running = 0;
            return true;
        }
        busy_ = true;
    }
    JoinThread(); // a thread that ran the last request is on its way out
    if (Start())
        return true;
    std::lock_guard guard(mutex_);
    busy_ = false;
    return false;
}

void DeviceSearchThread::Cancel()
{
    std::shared_ptr<discoverRX> rx;
    {
        std::lock_guard guard(mutex_);
        request_.cancel = true;
        ++request_.generation;
        rx = request_.rx;
    }
    if (rx)
        rx->running = 0;
    JoinThread();
    std::lock_guard guard(mutex_);
    busy_ = false;
    request_.rx.reset();
}

void DeviceSearchThread::JoinThread()
{
    if (!thread)
        return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

bool DeviceSearchThread::Superseded(UINT generation)
{
    std::lock_guard guard(mutex_);
    return request_.generation != generation;
}

void DeviceSearchThread::Run()
{
    for (;;)
    {
        Request request;
        {
            std::lock_guard guard(mutex_);
            request = request_;
        }
        if (!request.cancel && request.rx)
            Search(request);
        std::lock_guard guard(mutex_);
        if (request_.generation == request.generation)
        {
            busy_ = false;
            running = 0;
            return;
        }
    }
}

void DeviceSearchThread::Search(const Request& request)
{
    discoverRX& rx = *request.rx;
    PostMessageW(request.page, WM_SEARCH_STARTED, 0, 0);
    rx.Clear();
    rx.timeoutMs = static_cast<WORD>(std::min<DWORD>(request.timeoutMs, 0xFFFF));
    const SpoolerLists spooler = ReadSpoolerLists();
    ReenumerateDevices();
    if (Superseded(request.generation))
        return;
    for (const LocalPrinterNode& node : LocalPrinterNodes(TEXT("USBPRINT")))
        rx.Add(UsbDevice(node, spooler, request.driverKind));
    for (const LocalPrinterNode& node : LocalPrinterNodes(TEXT("LPTENUM")))
        rx.Add(LptDevice(node));
    if (!Superseded(request.generation))
    {
        rx.StartDiscovery();
        if (rx.thread)
        {
            WaitForSingleObject(rx.thread, INFINITE);
            CloseHandle(rx.thread);
            rx.thread = nullptr;
        }
    }
    // Also when the discovery could not start: the local devices are shown.
    PostMessageW(request.page, WM_LIST_CHANGED, 0, 0);
    if (!Superseded(request.generation))
        PostMessageW(request.page, WM_SEARCH_ENDED, 0, 0);
}

} // namespace kgsetup
