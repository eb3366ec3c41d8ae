// The Search page's device search: the printers attached to this PC (USB and parallel nodes) and the
// duplicators' network cards, gathered by two threads into one list that only the page's thread
// shows. The threads post the page a message; they never touch its controls.
#pragma once

#include "base_thread.h"
#include "devices.h"
#include "setup_context.h"

#include <netfind.h>
#include <platform/windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace kgsetup
{

// What the threads post to the page.
inline constexpr UINT WM_SEARCH_STARTED = WM_APP + 0x41; // the list is being searched again
inline constexpr UINT WM_LIST_CHANGED = WM_APP + 0x42;   // the found list may show new rows
inline constexpr UINT WM_SEARCH_ENDED = WM_APP + 0x43;   // a search ran to its end

struct InstallLanguage
{
    int textId;
    UINT lcid;
    UINT bit;
};
inline constexpr InstallLanguage kInstallLanguages[] = {
    {30, 1031, 16}, {31, 2057, 2},  {32, 1033, 4},   {33, 1034, 512}, {34, 1036, 8},
    {35, 1040, 32}, {36, 1041, 64}, {37, 1042, 128}, {38, 1049, 256}, {39, 2052, 1},
};

// The languages the package has, in table order, and the one to select: the install language's,
// else the first (-1 when there are none).
struct LanguageChoices
{
    std::vector<InstallLanguage> entries;
    int selected = -1;
};
LanguageChoices LanguagesOffered(UINT packageMask, UINT installLcid);

// The text after the last `separator`; empty when there is none.
WString TextAfterLast(WStringView text, WCHAR separator);
// A parallel printer's port from its instance id: after the last "&", cut at the first ".", with ":"
// added unless present; empty when the id has no "&".
WString LptPortName(WStringView instanceId);

// The spooler's ports, its local printers (port, driver) and drivers (name, version).
struct SpoolerLists
{
    std::vector<WString> ports;
    std::vector<std::pair<WString, WString>> printers;
    std::vector<std::pair<WString, DWORD>> drivers;
};
SpoolerLists ReadSpoolerLists();
// A printer of the driver kind (its version) is the first on `port`.
bool PortTakenByDriverKind(const SpoolerLists& spooler, WStringView port, int driverKind);

FoundDevice UsbDevice(const LocalPrinterNode& node, const SpoolerLists& spooler, int driverKind);
FoundDevice LptDevice(const LocalPrinterNode& node);
// A card's record: its printer name read in the OEM code page.
FoundDevice CardDevice(const netfind::PrnSvrInfo& card);

// Whether some model's name ends with the device's normalised name; an empty name matches none.
bool ModelShown(std::span<const WString> models, const WString& displayName);
// A row of the list: the device it shows (its index in the found list) and its three columns.
struct DeviceRow
{
    size_t device = 0;
    WString name, location, detail;
};
std::vector<DeviceRow> RowsFor(std::span<const FoundDevice> found, std::span<const WString> models);

// Discovery of the network cards, and the found list the page and the device search share.
class discoverRX final : public CBaseThread<discoverRX>, public std::enable_shared_from_this<discoverRX>
{
public:
    static std::shared_ptr<discoverRX> Create(HWND page, WORD timeoutMs);
    explicit discoverRX(HWND page, WORD timeoutMs);
    ~discoverRX() override;

    std::shared_ptr<discoverRX> KeepAlive() { return shared_from_this(); }

    // The discovery thread started; without Windows Sockets it retries for one time-out from here.
    void StartDiscovery();
    // One discovery on the thread; ends the loop when done.
    void Run() override;
    // A local device, unless the same node is listed already.
    void Add(const FoundDevice& device);
    // Empties the found list; false when the list could not be had within the period.
    bool Clear();
    void SetModels(std::vector<WString> models);
    // On the page's thread: the rows of the list view rebuilt from the found list when it changed;
    // `shown` receives the devices of the rows, in row order. False when nothing was rebuilt.
    bool RefreshList(HWND listView, std::vector<FoundDevice>& shown);

    HWND page;
    std::atomic<WORD> timeoutMs;

private:
    void NotifyPage(UINT message) const;

    HANDLE listMutex_ = nullptr;
    std::vector<FoundDevice> found_;
    std::vector<WString> modelFilter_;
    bool listChanged_ = false;
    DWORD started_ = 0; // ticks
};

// Lists the local printers, then runs one discovery; a request made while one runs is run next.
class DeviceSearchThread final : public CBaseThread<DeviceSearchThread>,
                                 public std::enable_shared_from_this<DeviceSearchThread>
{
public:
    DeviceSearchThread() : CBaseThread(500) {}
    ~DeviceSearchThread() override;

    std::shared_ptr<DeviceSearchThread> KeepAlive() { return shared_from_this(); }

    // From the page's thread.
    // False when no thread could be made.
    bool StartSearch(HWND page, std::shared_ptr<discoverRX> rx, DWORD timeoutMs, int driverKind);
    // Ends the search under way and waits for its thread; nothing is posted after it returns.
    void Cancel();

    void Run() override;

private:
    struct Request
    {
        HWND page = nullptr;
        std::shared_ptr<discoverRX> rx;
        DWORD timeoutMs = 500;
        int driverKind = 0;
        bool cancel = false;
        UINT generation = 0;
    };
    bool Superseded(UINT generation);
    void Search(const Request& request);
    void JoinThread();

    std::mutex mutex_;
    Request request_;
    bool busy_ = false;
};

} // namespace kgsetup
