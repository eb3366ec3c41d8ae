// The file system: drive letters are folders under a per-machine temporary root, names compare
// without case, trailing dots and blanks of a name are dropped, and open files honour share modes.
#include "core/internal.h"
#include "core/state.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace sim::detail
{
namespace
{
// A new sandboxed folder tree per machine, removed with it.
struct FileSystem : PartBase
{
    fs::path root;
    FileSystem()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmo-sim-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            std::abort();
        root = buf.data();
        for (const char* d :
             {"C/Windows/System32", "C/Windows/Temp", "C/Program Files", "C/Users/User/AppData/Local/Temp"})
            fs::create_directories(root / d);
    }
    ~FileSystem() override
    {
        std::error_code ec;
        if (!root.empty())
            fs::remove_all(root, ec);
    }
};

FileSystem& files()
{
    return Part<FileSystem>();
}

struct File : KernelObject
{
    int fd = -1;
    fs::path host;
    DWORD access = 0;
    DWORD share = 0;
    ~File() override
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Open files by host path, for share-mode checks.
struct OpenFiles : PartBase
{
    std::vector<std::weak_ptr<File>> files;
};

std::vector<std::weak_ptr<File>>& openFiles()
{
    return Part<OpenFiles>().files;
}

bool IsSep(char16_t c)
{
    return c == u'\\' || c == u'/';
}

bool IsDriveLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

void SetError(DWORD e)
{
    SetLastError(e);
}

DWORD ErrorFromErrno(int e)
{
    switch (e)
    {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

bool SharingConflict(const fs::path& host, DWORD access, DWORD share, bool deleting)
{
    auto& v = openFiles();
    for (auto it = v.begin(); it != v.end();)
    {
        auto f = it->lock();
        if (!f)
        {
            it = v.erase(it);
            continue;
        }
        ++it;
        if (f->host != host)
            continue;
        if (deleting)
        {
            if (!(f->share & FILE_SHARE_DELETE))
                return true;
            continue;
        }
        bool wantRead = access & GENERIC_READ, wantWrite = access & (GENERIC_WRITE | GENERIC_ALL);
        bool hasRead = f->access & GENERIC_READ, hasWrite = f->access & (GENERIC_WRITE | GENERIC_ALL);
        if ((wantRead && !(f->share & FILE_SHARE_READ)) || (wantWrite && !(f->share & FILE_SHARE_WRITE)) ||
            (hasRead && !(share & FILE_SHARE_READ)) || (hasWrite && !(share & FILE_SHARE_WRITE)))
            return true;
    }
    return false;
}
} // namespace

int HostFileDescriptor(HANDLE handle, DWORD* access)
{
    auto file = FindHandleOf<File>(handle);
    if (!file)
        return -1;
    if (access)
        *access = file->access;
    return file->fd;
}

bool HostIsDirectory(const fs::path& p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

WString FullPath(WStringView path)
{
    WString p(path);
    // "\\?\C:\..." names the same path without the length limit.
    if (p.size() >= 4 && IsSep(p[0]) && IsSep(p[1]) && p[2] == u'?' && IsSep(p[3]))
        p.erase(0, 4);
    const WString& cwd = CurrentProcess().currentDirectory;
    WString base;
    if (p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == u':')
    {
        base = WString(1, FoldChar(p[0])) + u":";
        p.erase(0, 2);
        if (p.empty() || !IsSep(p[0]))
            p = (cwd.size() >= 2 && FoldChar(cwd[0]) == base[0] ? cwd.substr(2) : WString(u"\\")) + u"\\" + p;
    }
    else if (!p.empty() && IsSep(p[0]))
        base = cwd.substr(0, 2);
    else
    {
        base = cwd.substr(0, 2);
        p = cwd.substr(2) + u"\\" + p;
    }
    std::vector<WString> parts;
    size_t i = 0;
    while (i <= p.size())
    {
        size_t j = i;
        while (j < p.size() && !IsSep(p[j]))
            ++j;
        WString part = p.substr(i, j - i);
        if (part == u"..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != u".")
        {
            while (!part.empty() && (part.back() == u'.' || part.back() == u' '))
                part.pop_back();
            if (!part.empty())
                parts.push_back(part);
        }
        i = j + 1;
    }
    WString out = base;
    for (const auto& part : parts)
        out += u"\\" + part;
    if (parts.empty())
        out += u"\\";
    return out;
}

fs::path HostPathOf(WStringView windowsPath)
{
    WString full = FullPath(windowsPath);
    fs::path host = files().root / ToUtf8(WStringView(full).substr(0, 1));
    size_t i = 3;
    while (i < full.size())
    {
        size_t j = full.find(u'\\', i);
        if (j == WString::npos)
            j = full.size();
        WString part = full.substr(i, j - i);
        std::string name = ToUtf8(part);
        std::error_code ec;
        if (!fs::exists(host / name, ec) && HostIsDirectory(host))
        {
            for (const auto& entry : fs::directory_iterator(host, ec))
            {
                if (EqualNoCase(FromUtf8(entry.path().filename().string()), part))
                {
                    name = entry.path().filename().string();
                    break;
                }
            }
        }
        host /= name;
        i = j + 1;
    }
    return host;
}

} // namespace sim::detail

namespace sim
{
std::filesystem::path Machine::Sandbox() const
{
    return detail::files().root;
}

std::filesystem::path Machine::HostPath(WStringView windowsPath) const
{
    std::lock_guard g(detail::StateLock());
    return detail::HostPathOf(windowsPath);
}

void Machine::PutFile(WStringView windowsPath, std::string_view bytes)
{
    std::lock_guard g(detail::StateLock());
    fs::path host = detail::HostPathOf(windowsPath);
    fs::create_directories(host.parent_path());
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        std::abort();
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    ::close(fd);
}

std::optional<std::string> Machine::FileBytes(WStringView windowsPath) const
{
    std::lock_guard g(detail::StateLock());
    fs::path host = detail::HostPathOf(windowsPath);
    int fd = ::open(host.c_str(), O_RDONLY);
    if (fd < 0 || detail::HostIsDirectory(host))
    {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

bool Machine::FileExists(WStringView windowsPath) const
{
    std::lock_guard g(detail::StateLock());
    std::error_code ec;
    return fs::exists(detail::HostPathOf(windowsPath), ec);
}
} // namespace sim

using namespace sim::detail;

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD, HANDLE)
{
    SIM_FAULT_POINT("CreateFileW", INVALID_HANDLE_VALUE);
    if (!name || !*name)
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name);
    if (!HostIsDirectory(host.parent_path()))
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (HostIsDirectory(host))
    {
        SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::error_code ec;
    bool existed = fs::exists(host, ec);
    int flags = 0;
    switch (disposition)
    {
    case CREATE_NEW:
        if (existed)
        {
            SetError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        flags = O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags = O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags = O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        flags = O_TRUNC;
        break;
    default:
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
    {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && SharingConflict(host, access, share, false))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    bool write = access & (GENERIC_WRITE | GENERIC_ALL);
    bool read = access & (GENERIC_READ | GENERIC_ALL);
    flags |= write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (!write && (flags & O_TRUNC))
        flags = (flags & ~O_RDONLY) | O_RDWR;
    int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
    {
        SetError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<File>();
    file->fd = fd;
    file->host = host;
    file->access = access;
    file->share = share;
    openFiles().push_back(file);
    HANDLE h = AddHandle(file);
    // As on Windows, opening over an existing file with the "always" dispositions says so.
    SetError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
    return h;
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                          DWORD flags, HANDLE templateFile)
{
    WString wide = name ? Widen(name) : WString();
    return CreateFileW(name ? wide.c_str() : nullptr, access, share, sa, disposition, flags, templateFile);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    if (read)
        *read = 0;
    SIM_FAULT_POINT("ReadFile", FALSE);
    auto file = FindHandleOf<File>(handle);
    if (!file)
    {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(file->access & (GENERIC_READ | GENERIC_ALL)))
    {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ssize_t n = ::read(file->fd, buffer, toRead);
    if (n < 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    if (written)
        *written = 0;
    SIM_FAULT_POINT("WriteFile", FALSE);
    auto file = FindHandleOf<File>(handle);
    if (!file)
    {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(file->access & (GENERIC_WRITE | GENERIC_ALL)))
    {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ssize_t n = ::write(file->fd, buffer, toWrite);
    if (n < 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (written)
        *written = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size)
{
    auto file = FindHandleOf<File>(handle);
    struct stat st;
    if (!file || !size || ::fstat(file->fd, &st) != 0)
    {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    size->QuadPart = st.st_size;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size))
        return INVALID_FILE_SIZE;
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size.QuadPart >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(size.QuadPart & 0xFFFFFFFF);
}

DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method)
{
    auto file = FindHandleOf<File>(handle);
    if (!file || method > FILE_END)
    {
        SetError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    off_t offset = distanceHigh ? ((static_cast<off_t>(*distanceHigh) << 32) | static_cast<DWORD>(distance))
                                : static_cast<off_t>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t at = ::lseek(file->fd, offset, whence);
    if (at < 0)
    {
        SetError(131); // ERROR_NEGATIVE_SEEK
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(at >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(at & 0xFFFFFFFF);
}

BOOL WINAPI DeleteFileW(LPCWSTR name)
{
    SIM_FAULT_POINT("DeleteFileW", FALSE);
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name);
    std::error_code ec;
    if (!fs::exists(host, ec))
    {
        SetError(HostIsDirectory(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (HostIsDirectory(host))
    {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (SharingConflict(host, 0, 0, true))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(host.c_str()) != 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name)
{
    return DeleteFileW(Widen(name ? name : "").c_str());
}

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES)
{
    SIM_FAULT_POINT("CreateDirectoryW", FALSE);
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name);
    std::error_code ec;
    if (fs::exists(host, ec))
    {
        SetError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!HostIsDirectory(host.parent_path()))
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(host.c_str(), 0755) != 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES sa)
{
    return CreateDirectoryW(Widen(name ? name : "").c_str(), sa);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR name)
{
    SIM_FAULT_POINT("RemoveDirectoryW", FALSE);
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name);
    if (!HostIsDirectory(host))
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::rmdir(host.c_str()) != 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR name)
{
    SIM_FAULT_POINT("GetFileAttributesW", INVALID_FILE_ATTRIBUTES);
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name ? name : u"");
    struct stat st;
    if (::stat(host.c_str(), &st) != 0)
    {
        SetError(HostIsDirectory(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name)
{
    return GetFileAttributesW(Widen(name ? name : "").c_str());
}
