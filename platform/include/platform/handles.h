// Owning handles: each closes what it holds with the one function Windows pairs with its opening
// call, on every path out of a scope. One traits struct per close function.
#pragma once

#include <platform/setupapi.h>
#include <platform/windows.h>
#include <platform/winsock2.h>
#include <platform/winsvc.h>

#include <utility>

namespace platform
{

template <typename Traits> class UniqueHandle
{
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return Traits::IsValid(m_handle); }

    // For a call that hands its handle back through a pointer: what was held is closed first.
    Type* Put() noexcept
    {
        Reset();
        return &m_handle;
    }

    Type Release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }

    void Reset(Type handle = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(m_handle, handle);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

private:
    Type m_handle = Traits::Invalid();
};

// Kernel objects (files, mappings, events, processes, threads). Files fail with
// INVALID_HANDLE_VALUE, the others with null; neither is closed.
struct KernelHandleTraits
{
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct RegKeyTraits
{
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { RegCloseKey(h); }
};

struct MappedViewTraits
{
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type p) noexcept { return p != nullptr; }
    static void Close(Type p) noexcept { UnmapViewOfFile(p); }
};

struct ModuleTraits
{
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};

struct MenuTraits
{
    using Type = HMENU;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { DestroyMenu(h); }
};

// The service manager and its services: null on failure.
struct ServiceHandleTraits
{
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { CloseServiceHandle(h); }
};

// Device sets and INF files fail with INVALID_HANDLE_VALUE.
struct DeviceInfoTraits
{
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) noexcept { SetupDiDestroyDeviceInfoList(h); }
};

struct InfTraits
{
    using Type = HINF;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) noexcept { SetupCloseInfFile(h); }
};

struct SocketTraits
{
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static bool IsValid(Type s) noexcept { return s != INVALID_SOCKET; }
    static void Close(Type s) noexcept { closesocket(s); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueMappedView = UniqueHandle<MappedViewTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniqueDeviceInfo = UniqueHandle<DeviceInfoTraits>;
using UniqueInf = UniqueHandle<InfTraits>;
using UniqueSocket = UniqueHandle<SocketTraits>;

} // namespace platform
