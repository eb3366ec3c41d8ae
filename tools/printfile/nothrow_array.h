// Arrays whose size a print file decides, taken without exceptions: a page too large for the address space
// is an error to report, never an abort.
#pragma once

#include <cstdlib>
#include <memory>
#include <span>
#include <type_traits>

namespace printfile
{

template <typename T> class NothrowArray
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    // `count` zeroed elements in place of the old ones; false, and empty, when the memory cannot be had.
    bool Allocate(size_t count)
    {
        Reset();
        if (count == 0)
            return true;
        // calloc leaves fresh pages to the system, which hands them out zeroed and only when touched.
        m_items.reset(static_cast<T*>(std::calloc(count, sizeof(T))));
        if (!m_items)
            return false;
        m_count = count;
        return true;
    }
    void Reset()
    {
        m_items.reset();
        m_count = 0;
    }

    T* data() { return m_items.get(); }
    const T* data() const { return m_items.get(); }
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    T* begin() { return data(); }
    T* end() { return data() + m_count; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_count; }
    T& operator[](size_t i) { return m_items.get()[i]; }
    const T& operator[](size_t i) const { return m_items.get()[i]; }
    operator std::span<T>() { return {data(), m_count}; }
    operator std::span<const T>() const { return {data(), m_count}; }

private:
    struct Free
    {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T, Free> m_items;
    size_t m_count = 0;
};

} // namespace printfile
