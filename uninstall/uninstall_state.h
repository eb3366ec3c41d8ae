// The Uninstaller's one record per process, shared by every part of the program, and its table of
// section names.
#pragma once

#include <platform/windows.h>

#include <array>
#include <memory>
#include <string>

namespace uninstall
{

constexpr int kPathChars = MAX_PATH;

// Option bits.
constexpr WORD kOptionSilent = 0x0001;
constexpr WORD kOptionNeverReboot = 0x0004;
// Log bits.
constexpr WORD kLogFile = 0x0001;
constexpr WORD kLogDebugger = 0x0010;
constexpr WORD kLogQa = 0x0100;
// osFlags bits.
constexpr WORD kOs64Bit = 0x0002;

struct PortMonitorRecord;
struct ComponentRecord;

struct UninstallSection
{
    char recordName[64] = "Uninstall";
    int enabled = 1;
    char monitorSection[16] = "MONITOR";
    char fileSection[16] = "FILE";
    char uninstallSection[16] = "UNINSTALL";
    char componentSection[16] = "COMPONENT";
    char applicationSection[16] = "APPLICATION";
    char shortcutSection[16] = "SHORTCUT";
    char firewallSection[16] = "ICF";
    char pathSection[16] = "PATH";
    char infoSection[16] = "INFO";
    std::shared_ptr<PortMonitorRecord> portMonitor; // later steps fill these
    std::shared_ptr<ComponentRecord> component;
};

// A bitmap of the wizard, checked and kept with its palette.
struct WizardBitmap
{
    std::string bytes; // the DIB: header, colours, pixels
    size_t bitsOffset = 0;
    HPALETTE palette = nullptr;
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(bytes.data()); }
    const BYTE* Bits() const { return reinterpret_cast<const BYTE*>(bytes.data()) + bitsOffset; }
};

enum BitmapSlot
{
    kBitmapLeft,
    kBitmapLeftIcon,
    kBitmapTop,
    kBitmapTopIcon,
    kBitmapCount
};

struct UninstallState
{
    WORD osIndex = 0;
    WORD osFlags = 0;
    DWORD osMajor = 0, osMinor = 0, osBuild = 0;
    WORD servicePackMajor = 0, servicePackMinor = 0;
    char moduleFolder[kPathChars] = {};
    char uiIniPath[kPathChars] = {};
    char fileListIniPath[kPathChars] = {};
    char uiIniName[kPathChars] = {};
    char languageFolder[128] = {};
    HINSTANCE hInstance = nullptr;
    HWND mainWindow = nullptr;
    HWND frameWindow = nullptr;
    HFONT standardFont = nullptr;
    HFONT titleFont = nullptr;
    HFONT bannerTitleFont = nullptr;
    HFONT bannerTextFont = nullptr;
    int aborted = 0;
    int completed = 0; // the worker finished every step: only then the second stage runs
    int busy = 0;
    HANDLE workerThread = nullptr;
    int cancelBoxOpen = 0;
    DWORD windowError = 0; // the last error of a window or box the system refused; 0: none was
    int hasWelcomePage = 0;
    int pageCount = 0;
    int currentPage = 0;
    HWND pages[4] = {};
    int rebootRequested = 0;
    int rebootNeeded = 0;           // kept for "-t" even when the user chose to restart later
    int removeDeviceServerPort = 1; // 0 once the device server's driver is kept for another application
    std::unique_ptr<UninstallSection[]> sections;
    int sectionCount = 0;
    WORD options = 0;
    int rtlLayout = 0;
    WORD logFlags = 0;
    DWORD logFileAttribute = FILE_ATTRIBUTE_NORMAL;
    char logPath[kPathChars] = {};
    bool logFoldersMade = false;
    std::array<WizardBitmap, kBitmapCount> bitmaps;
    std::array<bool, kBitmapCount> hasBitmap = {};
};

// The record of the calling process, zeroed at its start.
UninstallState& State();
// Starts the calling process's record afresh.
void ResetState();

// The one section record; false when it cannot be made.
bool BuildSectionTable(UninstallState& state);

} // namespace uninstall
