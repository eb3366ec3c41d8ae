// Where the program's code is called by Windows (window and dialog procedures, thread starts, DLL
// exports, COM methods) no exception may pass: Windows cannot unwind through its own frames.
// Boundary runs the body and turns any exception into the caller's documented failure value.
#pragma once

#include <platform/windows.h>

#include <exception>
#include <string>
#include <type_traits>

namespace platform
{
namespace detail
{
#if defined(_WIN32)
inline void ReportEscaped(const char* what) noexcept
{
    try
    {
        std::string line = "exception stopped at a boundary: ";
        line += what;
        line += '\n';
        OutputDebugStringA(line.c_str());
    }
    catch (...)
    {
        OutputDebugStringA("exception stopped at a boundary\n");
    }
}
#else
// The simulated machine fails the running test: an exception stopped here is a fault in the code.
void ReportEscaped(const char* what) noexcept;
#endif
} // namespace detail

template <typename T, typename Body> T Boundary(T fallback, Body&& body) noexcept
{
    try
    {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>)
        {
            body();
            return fallback;
        }
        else
            return static_cast<T>(body());
    }
    catch (const std::exception& e)
    {
        detail::ReportEscaped(e.what());
    }
    catch (...)
    {
        detail::ReportEscaped("unknown exception");
    }
    return fallback;
}

// For a body with nothing to return (a VOID export, a thread that reports through its state).
template <typename Body> void Boundary(Body&& body) noexcept
{
    try
    {
        body();
    }
    catch (const std::exception& e)
    {
        detail::ReportEscaped(e.what());
    }
    catch (...)
    {
        detail::ReportEscaped("unknown exception");
    }
}

} // namespace platform
