#include "v4_companion.h"

#include "processes.h"
#include "services.h"

namespace kgsetup
{
namespace
{
bool FileExists(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a file is there; code gets the error of a check that failed for another reason than its
// absence.
bool FileThere(const WString& path, DWORD& code)
{
    code = 0;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            code = error ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
        return false;
    }
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WString WindowsFolder()
{
    WCHAR folder[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? WString(folder, length) : WString(TEXT("C:\\Windows"));
}

// Sets the current folder for a while and puts the previous one back on every way out.
class CurrentFolder
{
public:
    explicit CurrentFolder(const WString& folder)
    {
        WCHAR previous[MAX_PATH] = {};
        DWORD length = GetCurrentDirectoryW(MAX_PATH, previous);
        if (length && length < MAX_PATH)
            previous_.assign(previous, length);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolder()
    {
        if (!previous_.empty())
            SetCurrentDirectoryW(previous_.c_str());
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    WString previous_;
};
} // namespace

CV4CompanionFiles::CV4CompanionFiles(WStringView packageFolder)
    : files{TEXT("VeKglV4-OUSUPX.dll"), TEXT("VeKglV4-MONAPI.dll"), TEXT("VeKglV4-MONSVR.exe"),
            TEXT("VeKglV4-SMON.dll"), TEXT("VeKglV4-OUSVRX.exe")},
      statusTexts{TEXT("NONE"),
                  TEXT("\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u5931\u6557"), // install failed
                  TEXT("\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u6210\u529F"), // install succeeded
                  TEXT("\u524A\u9664\u5931\u6557"),                         // removal failed
                  TEXT("\u524A\u9664\u6210\u529F"),                         // removal succeeded
                  TEXT("ALREADY_EXIST_FILE"),
                  TEXT("NO_INPUT_FILE")}
{
    targetFolder = WindowsFolder() + TEXT("\\System32\\");
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    sourceFolder =
        WString(packageFolder) +
        (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? TEXT("\\x64\\") : TEXT("\\x86\\"));
    bool complete = FolderExists(sourceFolder);
    for (const WString& file : files)
        complete = complete && FileExists(sourceFolder + file);
    sourceComplete = complete ? 1 : 0;
    if (!complete)
        state = kNoInputFile;
    if (FileExists(ServiceProgram()))
    {
        installed = 1;
        state = kAlreadyExists;
    }
}

WString CV4CompanionFiles::ServiceProgram() const
{
    return targetFolder + files[serviceProgramIndex];
}

const WString& CV4CompanionFiles::StatusText() const
{
    return statusTexts[state < statusTexts.size() ? state : 0];
}

bool CV4CompanionFiles::Install()
{
    if (state == kNoInputFile || !sourceComplete)
        return false;
    bool copied = true;
    for (const WString& file : files)
        if (!CopyFileW((sourceFolder + file).c_str(), (targetFolder + file).c_str(), FALSE))
        {
            lastError = GetLastError();
            copied = false;
        }
    state = kInstallFailed;
    // A set with a file missing or stale is no install: the service program is not run on it.
    if (!copied)
        return false;
    CurrentFolder inTarget(targetFolder);
    // A failure leaves a code for the log.
    auto fail = [this](DWORD code) {
        lastError = code ? code : static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE);
        return false;
    };
    RunResult install = RunProcessAndWait(ServiceProgram() + TEXT(" -install"), INFINITE);
    if (!install.started)
        return fail(GetLastError());
    if (install.exitCode != 0)
        return fail(install.exitCode); // the program's own answer
    installed = FileExists(ServiceProgram()) ? 1 : 0;
    if (!ControlService(kServiceName, kServiceRestart))
        return fail(GetLastError());
    RunAsDesktopUser(ServiceProgram() + TEXT(" -uimanage"));
    state = kInstalled;
    return true;
}

bool CV4CompanionFiles::Remove()
{
    // A fresh object removes whatever of the companions it finds, whatever its source (the clean-up
    // makes one on no package at all); one whose install failed or that removed them has done so.
    if (state == kInstallFailed || state == kRemoved)
        return false;
    auto fail = [this](DWORD code) {
        lastError = code ? code : static_cast<DWORD>(ERROR_GEN_FAILURE);
        state = kRemoveFailed;
        return false;
    };
    // A file that cannot be checked may be there: only "not found" counts as gone.
    bool present = false;
    for (size_t i = 0; i < files.size() && !present; ++i)
    {
        DWORD code = 0;
        present = FileThere(targetFolder + files[i], code);
        if (code)
            return fail(code);
    }
    if (!present)
        return installed != 0;
    DWORD code = 0;
    if (FileThere(ServiceProgram(), code))
    {
        CurrentFolder inTarget(targetFolder);
        RunResult remove = RunProcessAndWait(ServiceProgram() + TEXT(" -remove"), INFINITE);
        if (!remove.started)
            return fail(GetLastError());
        // The program's own answer, unless it only found its service gone: a removal that failed
        // after the service went leaves the files for the next one to take.
        if (remove.exitCode != 0 && !ServiceGone(kServiceName))
            return fail(remove.exitCode);
        // The program may end before its service has: the files go only once it has stopped.
        if (!WaitForServiceStopped(kServiceName))
            return fail(GetLastError());
    }
    else if (code)
        return fail(code);
    state = kRemoveFailed;
    Sleep(1000);
    for (const WString& file : files)
    {
        WString path = targetFolder + file;
        if (!FileThere(path, code))
        {
            if (code)
                return fail(code);
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str()))
            return fail(GetLastError());
    }
    state = kRemoved;
    return true;
}

} // namespace kgsetup
