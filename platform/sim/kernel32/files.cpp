// The file system: drive letters are folders under a per-machine temporary root, names compare
// without case, trailing dots and blanks of a name are dropped, and open files honour share modes.
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/device_io.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace sim::detail
{
namespace
{
// Host names are UTF-8; most are ASCII, which needs no converter.
bool IsAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string HostName(WStringView part)
{
    for (char16_t c : part)
        if (c >= 0x80)
            return ToUtf8(part);
    return std::string(part.begin(), part.end());
}

WString WideName(std::string_view hostName)
{
    return IsAscii(hostName) ? WString(hostName.begin(), hostName.end()) : FromUtf8(hostName);
}

// Names hashed and compared as the file system compares them, so a lookup folds nothing ahead.
struct FoldedHash
{
    using is_transparent = void;
    size_t operator()(WStringView s) const
    {
        size_t h = 14695981039346656037ull;
        for (char16_t c : s)
            h = (h ^ FoldChar(c)) * 1099511628211ull;
        return h;
    }
};
struct FoldedEqual
{
    using is_transparent = void;
    bool operator()(WStringView a, WStringView b) const { return EqualNoCase(a, b); }
};

// What one host folder holds, by folded name, so a name in any case is found without reading the
// folder. A link may lead elsewhere, so a folder reached through one is checked to be the same.
struct FolderIndex
{
    struct Entry
    {
        std::string name;
        bool link = true; // a link, or not known not to be one
    };
    std::unordered_map<WString, std::vector<Entry>, FoldedHash, FoldedEqual>
        names; // same names in folder order
    int watch = -1;
    dev_t device = 0;
    ino_t inode = 0;
    bool reachedByLink = false;

    void Add(std::string name, bool link)
    {
        auto& same = names[WideName(name)];
        for (const Entry& e : same)
            if (e.name == name)
                return;
        same.push_back({std::move(name), link});
    }
    void Remove(const std::string& name)
    {
        auto it = names.find(WideName(name));
        if (it == names.end())
            return;
        std::erase_if(it->second, [&](const Entry& e) { return e.name == name; });
        if (it->second.empty())
            names.erase(it);
    }
    const Entry* Find(WStringView part) const
    {
        auto it = names.find(part);
        if (it == names.end())
            return nullptr;
        if (it->second.size() > 1)
            for (const Entry& e : it->second)
                if (e.name == HostName(part))
                    return &e;
        return &it->second.front();
    }
};

// Indexes of the folders names were looked up in, kept exact by watching each folder: whoever
// changes it (this machine or a test writing on the host), the kernel queues the change before the
// changing call returns, and the queue is read before every lookup. Whatever is not certain is
// dropped and read again.
class FolderIndexes
{
public:
    ~FolderIndexes()
    {
        if (notify_ >= 0)
            ::close(notify_);
    }

    // Applies every change queued since the last lookup.
    void CatchUp()
    {
        char* buf = events_.data();
        while (notify_ >= 0)
        {
            ssize_t n = ::read(notify_, buf, events_.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            if (n <= 0)
                return Restart();
            for (ssize_t at = 0; at < n;)
            {
                const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW)
                    return Restart();
                auto w = watched_.find(event->wd);
                if (w == watched_.end())
                    continue;
                const std::vector<std::string> folders = w->second;
                for (const std::string& folder : folders)
                {
                    if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                    {
                        Forget(folder);
                        continue;
                    }
                    const std::string name(event->name);
                    Forget(folder + "/" + name);
                    auto f = folders_.find(folder);
                    if (f == folders_.end())
                        continue;
                    if (event->mask & (IN_CREATE | IN_MOVED_TO))
                        f->second.Add(name, !(event->mask & IN_ISDIR));
                    else
                        f->second.Remove(name);
                }
            }
        }
    }

    // The index of a host folder; null if it is no folder or cannot be watched.
    const FolderIndex* Of(const std::string& key, bool reachedByLink)
    {
        if (auto it = folders_.find(key); it != folders_.end())
        {
            struct stat st;
            if (!it->second.reachedByLink ||
                (::stat(key.c_str(), &st) == 0 && st.st_dev == it->second.device &&
                 st.st_ino == it->second.inode))
                return &it->second;
            Forget(key);
        }
        if (notify_ < 0)
            notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        int fd = notify_ < 0 ? -1 : ::open(key.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        // Watch, identity and listing all of the folder just opened, wherever its path leads now.
        FolderIndex index;
        index.reachedByLink = reachedByLink;
        struct stat st;
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        index.watch = ::fstat(fd, &st) == 0
                          ? ::inotify_add_watch(notify_, self.c_str(),
                                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                                    IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR)
                          : -1;
        DIR* dir = index.watch < 0 ? nullptr : ::fdopendir(fd);
        if (!dir)
        {
            ::close(fd);
            return nullptr;
        }
        index.device = st.st_dev;
        index.inode = st.st_ino;
        while (const dirent* entry = ::readdir(dir))
        {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                index.Add(std::string(name), entry->d_type != DT_DIR && entry->d_type != DT_REG);
        }
        ::closedir(dir);
        watched_[index.watch].push_back(key);
        return &folders_.insert_or_assign(key, std::move(index)).first->second;
    }

private:
    // Drops a folder's index and those of every folder under it.
    void Forget(const std::string& folder)
    {
        auto drop = [&](std::map<std::string, FolderIndex>::iterator it) {
            auto w = watched_.find(it->second.watch);
            if (w != watched_.end())
            {
                std::erase(w->second, it->first);
                if (w->second.empty())
                    watched_.erase(w);
            }
            return folders_.erase(it);
        };
        if (auto it = folders_.find(folder); it != folders_.end())
            drop(it);
        for (auto it = folders_.lower_bound(folder + "/"); it != folders_.end() && it->first < folder + "0";)
            it = drop(it);
    }

    // Changes were lost: nothing known is trusted.
    void Restart()
    {
        ::close(notify_);
        notify_ = -1;
        folders_.clear();
        watched_.clear();
    }

    int notify_ = -1;
    std::vector<char> events_ = std::vector<char>(16384);       // new storage is aligned for any event
    std::map<std::string, FolderIndex> folders_;                // by host path
    std::unordered_map<int, std::vector<std::string>> watched_; // watch → the folders it keeps
};

// A new sandboxed folder tree per machine, removed with it.
struct FileSystem : PartBase
{
    fs::path root;
    std::mutex indexLock;
    FolderIndexes indexes;
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

off_t OverlappedOffset(const OVERLAPPED& overlapped)
{
    return static_cast<off_t>((static_cast<ULONGLONG>(overlapped.OffsetHigh) << 32) | overlapped.Offset);
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

bool OpenWithoutShareDelete(const fs::path& host)
{
    return SharingConflict(host, 0, 0, true);
}

std::shared_ptr<KernelObject> HoldForReading(WStringView windowsPath)
{
    fs::path host = HostPathOf(windowsPath);
    std::error_code ec;
    if (!fs::is_regular_file(host, ec))
    {
        SetError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (SharingConflict(host, GENERIC_READ, FILE_SHARE_READ, false))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return nullptr;
    }
    auto file = std::make_shared<File>();
    file->host = host;
    file->access = GENERIC_READ;
    file->share = FILE_SHARE_READ;
    openFiles().push_back(file);
    return file;
}

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
    std::vector<WStringView> parts; // views of p, which outlives them
    parts.reserve(16);
    size_t i = 0;
    while (i <= p.size())
    {
        size_t j = i;
        while (j < p.size() && !IsSep(p[j]))
            ++j;
        WStringView part = WStringView(p).substr(i, j - i);
        if (part == u"..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != u".")
        {
            while (!part.empty() && (part.back() == u'.' || part.back() == u' '))
                part.remove_suffix(1);
            if (!part.empty())
                parts.push_back(part);
        }
        i = j + 1;
    }
    WString out = base;
    out.reserve(base.size() + p.size() + 1);
    for (WStringView part : parts)
    {
        out += u'\\';
        out += part;
    }
    if (parts.empty())
        out += u"\\";
    return out;
}

fs::path HostPathOf(WStringView windowsPath)
{
    WString full = FullPath(windowsPath);
    FileSystem& fsys = files();
    std::lock_guard g(fsys.indexLock);
    fsys.indexes.CatchUp();
    std::string host = fsys.root.native() + '/' + HostName(WStringView(full).substr(0, 1));
    bool throughLink = false;
    size_t i = 3;
    while (i < full.size())
    {
        size_t j = full.find(u'\\', i);
        if (j == WString::npos)
            j = full.size();
        WStringView part = WStringView(full).substr(i, j - i);
        i = j + 1;
        if (const FolderIndex* index = fsys.indexes.Of(host, throughLink))
        {
            const FolderIndex::Entry* entry = index->Find(part);
            host += '/';
            host += entry ? entry->name : HostName(part);
            throughLink = !entry || entry->link;
            continue;
        }
        // No index (no such folder, or no watch to be had): read the folder itself.
        std::string name = HostName(part);
        throughLink = true;
        std::error_code ec;
        if (!fs::exists(host + '/' + name, ec) && HostIsDirectory(host))
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
        host += '/';
        host += name;
    }
    return host;
}

} // namespace sim::detail

namespace sim
{
std::filesystem::path Files::Sandbox() const
{
    return detail::files().root;
}

std::filesystem::path Files::HostPath(WStringView windowsPath) const
{
    std::lock_guard g(detail::StateLock());
    return detail::HostPathOf(windowsPath);
}

void Files::Put(WStringView windowsPath, std::string_view bytes)
{
    std::lock_guard g(detail::StateLock());
    fs::path host = detail::HostPathOf(windowsPath);
    fs::create_directories(host.parent_path());
    std::error_code ec;
    if (!fs::exists(host, ec))
        detail::ForgetFileAttributes(windowsPath);
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        std::abort();
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    ::close(fd);
}

std::optional<std::string> Files::Bytes(WStringView windowsPath) const
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

bool Files::Exists(WStringView windowsPath) const
{
    std::lock_guard g(detail::StateLock());
    std::error_code ec;
    return fs::exists(detail::HostPathOf(windowsPath), ec);
}

Files& files()
{
    static Files f;
    return f;
}
} // namespace sim

using namespace sim::detail;

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flagsAndAttributes, HANDLE)
{
    SIM_FAULT_POINT("CreateFileW", INVALID_HANDLE_VALUE);
    if (!name || !*name)
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (auto device = OpenDevice(name, access, share, flagsAndAttributes))
        return *device;
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
    // Overwriting a hidden or system file takes asking for the same attributes.
    constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DWORD kept = existed ? KeptFileAttributes(name) : 0;
    if (disposition == CREATE_ALWAYS && (kept & ~flagsAndAttributes & kHiddenSystem))
    {
        SetError(ERROR_ACCESS_DENIED);
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
    // A new file takes the attributes asked for (read-only too, the handle still writing); one made
    // over an existing file keeps its own and adds them.
    if (!existed || disposition == CREATE_ALWAYS)
    {
        if (!existed)
            ForgetFileAttributes(name);
        if (flagsAndAttributes & kHiddenSystem)
            AddKeptFileAttributes(name, flagsAndAttributes & kHiddenSystem);
        if (!existed && (flagsAndAttributes & FILE_ATTRIBUTE_READONLY))
            ::fchmod(fd, 0444);
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
    SIM_FAULT_POINT("CreateFileA", INVALID_HANDLE_VALUE);
    WString wide = name ? Widen(name) : WString();
    return CreateFileW(name ? wide.c_str() : nullptr, access, share, sa, disposition, flags, templateFile);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    if (read)
        *read = 0;
    SIM_FAULT_POINT("ReadFile", FALSE);
    if (auto device = FindHandleOf<DeviceFile>(handle))
        return device->Read(buffer, toRead, read, overlapped);
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
    // An overlapped request reads at its own offset and is done before the call returns.
    ssize_t n = overlapped ? ::pread(file->fd, buffer, toRead, OverlappedOffset(*overlapped))
                           : ::read(file->fd, buffer, toRead);
    if (n < 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(n);
    if (overlapped)
        CompleteOverlapped(overlapped, ERROR_SUCCESS, static_cast<DWORD>(n));
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (written)
        *written = 0;
    SIM_FAULT_POINT("WriteFile", FALSE);
    if (auto device = FindHandleOf<DeviceFile>(handle))
        return device->Write(buffer, toWrite, written, overlapped);
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
    ssize_t n = overlapped ? ::pwrite(file->fd, buffer, toWrite, OverlappedOffset(*overlapped))
                           : ::write(file->fd, buffer, toWrite);
    if (n < 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (written)
        *written = static_cast<DWORD>(n);
    if (overlapped)
        CompleteOverlapped(overlapped, ERROR_SUCCESS, static_cast<DWORD>(n));
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
    struct stat st;
    if (HostIsDirectory(host) || (::stat(host.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR)))
    {
        SetError(ERROR_ACCESS_DENIED); // a folder, or a read-only file
        return FALSE;
    }
    if (SharingConflict(host, 0, 0, true))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (ImageInUse(FullPath(name)))
    {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (HeldBySpooler(FullPath(name)))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(host.c_str()) != 0)
    {
        SetError(ErrorFromErrno(errno));
        return FALSE;
    }
    ForgetFileAttributes(name);
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
    ForgetFileAttributes(name);
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
    ForgetFileAttributes(name);
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
    return attributes | KeptFileAttributes(name ? name : u"");
}

DWORD WINAPI GetFileAttributesA(LPCSTR name)
{
    return GetFileAttributesW(Widen(name ? name : "").c_str());
}

// Finding files: the folder is read once, when the search starts; names are matched without case
// and come back in folded-name order.
namespace sim::detail
{
namespace
{
struct FindSearch : KernelObject
{
    std::vector<WIN32_FIND_DATAW> found;
    size_t next = 0;
};

bool MatchesPattern(WStringView name, WStringView pattern)
{
    // Iterative star matching: the last star's position is all that is ever revisited.
    size_t n = 0, p = 0, starP = WString::npos, starN = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == u'?' || FoldChar(pattern[p]) == FoldChar(name[n])))
        {
            ++n;
            ++p;
        }
        else if (p < pattern.size() && pattern[p] == u'*')
        {
            starP = p++;
            starN = n;
        }
        else if (starP != WString::npos)
        {
            p = starP + 1;
            n = ++starN;
        }
        else
            return false;
    }
    while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'.'))
        ++p; // "name.*" and "*.*" also match a name without a dot
    return p == pattern.size();
}

WIN32_FIND_DATAW FindDataOf(const fs::path& host, WStringView name)
{
    WIN32_FIND_DATAW data{};
    struct stat st;
    if (::stat(host.c_str(), &st) == 0)
    {
        data.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (!(st.st_mode & S_IWUSR))
            data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
        if (!S_ISDIR(st.st_mode))
        {
            data.nFileSizeLow = static_cast<DWORD>(st.st_size);
            data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        }
    }
    size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
    std::copy_n(name.data(), n, data.cFileName);
    return data;
}
} // namespace
} // namespace sim::detail

HANDLE WINAPI FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData)
{
    if (!fileName || !*fileName || !findData)
    {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard g(StateLock());
    WString full = FullPath(fileName);
    size_t cut = full.find_last_of(u'\\');
    WString folder = full.substr(0, cut == 2 ? 3 : cut); // "C:\" keeps its separator
    WString pattern = full.substr(cut + 1);
    fs::path hostFolder = HostPathOf(folder);
    if (!HostIsDirectory(hostFolder))
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindSearch>();
    std::vector<std::pair<WString, WIN32_FIND_DATAW>> hits;
    if (cut != 2)
        for (WStringView dots : {WStringView(u"."), WStringView(u"..")})
            if (MatchesPattern(dots, pattern))
                hits.emplace_back(WString(dots), FindDataOf(hostFolder, dots));
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(hostFolder, ec))
    {
        WString name = WideName(entry.path().filename().string());
        if (name.size() < MAX_PATH && MatchesPattern(name, pattern))
        {
            hits.emplace_back(Fold(name), FindDataOf(entry.path(), name));
            hits.back().second.dwFileAttributes |= KeptFileAttributes(folder + u"\\" + name);
        }
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& hit : hits)
        search->found.push_back(hit.second);
    if (search->found.empty())
    {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findData = search->found[0];
    search->next = 1;
    return AddHandle(search);
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData)
{
    std::lock_guard g(StateLock());
    auto search = FindHandleOf<FindSearch>(find);
    if (!search || !findData)
    {
        SetError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->found.size())
    {
        SetError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = search->found[search->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE find)
{
    std::lock_guard g(StateLock());
    if (!FindHandleOf<FindSearch>(find))
    {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RemoveHandle(find);
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists)
{
    SIM_FAULT_POINT("CopyFileW", FALSE);
    if (!existingFileName || !newFileName)
    {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    fs::path from = HostPathOf(existingFileName), to = HostPathOf(newFileName);
    std::error_code ec;
    if (!fs::is_regular_file(from, ec))
    {
        SetError(HostIsDirectory(from)                 ? ERROR_ACCESS_DENIED
                 : HostIsDirectory(from.parent_path()) ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!HostIsDirectory(to.parent_path()))
    {
        SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    bool exists = fs::exists(to, ec);
    if (exists && failIfExists)
    {
        SetError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    // A read-only or hidden destination is not overwritten, as on Windows.
    if (exists && (HostIsDirectory(to) ||
                   (fs::status(to, ec).permissions() & fs::perms::owner_write) == fs::perms::none ||
                   (KeptFileAttributes(newFileName) & FILE_ATTRIBUTE_HIDDEN)))
    {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (SharingConflict(from, GENERIC_READ, FILE_SHARE_READ, false) ||
        (exists && SharingConflict(to, GENERIC_WRITE, 0, false)))
    {
        SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (fs::equivalent(from, to, ec))
    {
        SetError(ERROR_SHARING_VIOLATION); // the source is open for reading while it would be written
        return FALSE;
    }
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec))
    {
        SetError(ErrorFromErrno(ec.value()));
        return FALSE;
    }
    CopyKeptFileAttributes(existingFileName, newFileName); // the copy takes the source's attributes
    return TRUE;
}
