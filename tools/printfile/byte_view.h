// Read access to the bytes of a print file, whether mapped from disk or held in memory.
#pragma once

#include <platform/windows.h>

#include <cstdint>
#include <cstring>
#include <span>

namespace printfile
{

class IByteView
{
public:
    virtual ~IByteView() = default;
    virtual uint32_t Size() const = 0;
    // The bytes from `offset` to the end of a view that covers at least `want` bytes (fewer only at the end
    // of the file); empty when no view can be made.
    virtual std::span<const BYTE> View(uint32_t offset, uint32_t want) = 0;
};

class MemoryByteView final : public IByteView
{
public:
    explicit MemoryByteView(std::span<const BYTE> bytes)
        : m_bytes(bytes.size() > UINT32_MAX ? bytes.first(UINT32_MAX) : bytes)
    {
    }
    uint32_t Size() const override { return static_cast<uint32_t>(m_bytes.size()); }
    std::span<const BYTE> View(uint32_t offset, uint32_t) override
    {
        return offset < m_bytes.size() ? m_bytes.subspan(offset) : std::span<const BYTE>();
    }

private:
    std::span<const BYTE> m_bytes;
};

inline uint16_t ReadU16(const BYTE* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void PutU16(BYTE* p, uint32_t v)
{
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}

inline void PutU32(BYTE* p, uint32_t v)
{
    PutU16(p, v & 0xFFFF);
    PutU16(p + 2, v >> 16);
}

} // namespace printfile
