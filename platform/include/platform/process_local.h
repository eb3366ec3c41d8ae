// A program's globals, one set per process. On Windows a process is the program, so they are plain
// statics; in the simulated machine several programs (and several runs of one) share the test
// binary, so each simulated process gets its own, made on first use and destroyed when the
// program's entry returns, as a program's statics go at its exit.
#pragma once

#include <memory>

#if defined(_WIN32)

template <typename T> class ProcessLocal
{
public:
    T& Get()
    {
        static T value;
        return value;
    }
    T& operator*() { return Get(); }
    T* operator->() { return &Get(); }
};

#else

namespace sim
{
// The calling process's object for `key`, made by `make` the first time.
void* ProcessLocalSlot(const void* key, std::shared_ptr<void> (*make)());
} // namespace sim

template <typename T> class ProcessLocal
{
public:
    T& Get()
    {
        return *static_cast<T*>(
            sim::ProcessLocalSlot(this, [] { return std::shared_ptr<void>(std::make_shared<T>()); }));
    }
    T& operator*() { return Get(); }
    T* operator->() { return &Get(); }
};

#endif
