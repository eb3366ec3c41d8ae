// Little-endian reads of a DEVMODE handed in from outside, each bounded by what was supplied: the
// standard part by min(bytes, dmSize), the private area by min(bytes, dmSize + dmDriverExtra).
#pragma once

#include <platform/windows.h>

#include <algorithm>
#include <optional>
#include <span>

namespace velmo
{

class DevModeReader
{
public:
    explicit DevModeReader(std::span<const BYTE> bytes) : bytes_(bytes)
    {
        dmSize_ = U16(68).value_or(0);
        dmDriverExtra_ = U16(70).value_or(0);
        standardEnd_ = std::min<size_t>(bytes_.size(), dmSize_);
        privateEnd_ = std::min<size_t>(bytes_.size(), size_t{dmSize_} + dmDriverExtra_);
    }

    std::optional<WORD> U16(size_t offset, size_t end) const
    {
        if (offset + 2 > end)
            return std::nullopt;
        return static_cast<WORD>(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    std::optional<WORD> U16(size_t offset) const { return U16(offset, bytes_.size()); }
    std::optional<DWORD> U32(size_t offset, size_t end) const
    {
        if (offset + 4 > end)
            return std::nullopt;
        return static_cast<DWORD>(bytes_[offset]) | static_cast<DWORD>(bytes_[offset + 1]) << 8 |
               static_cast<DWORD>(bytes_[offset + 2]) << 16 | static_cast<DWORD>(bytes_[offset + 3]) << 24;
    }
    // A standard field, read as signed.
    std::optional<LONG> Short(size_t offset) const
    {
        auto v = U16(offset, standardEnd_);
        return v ? std::optional<LONG>(static_cast<SHORT>(*v)) : std::nullopt;
    }
    DWORD Fields() const { return U32(72, standardEnd_).value_or(0); }
    // A private field at this layout's offset.
    std::optional<LONG> Private(size_t offset) const
    {
        auto v = U32(offset, privateEnd_);
        return v ? std::optional<LONG>(static_cast<LONG>(*v)) : std::nullopt;
    }
    std::optional<LONG> PrivateU16(size_t offset) const
    {
        auto v = U16(offset, privateEnd_);
        return v ? std::optional<LONG>(*v) : std::nullopt;
    }
    // `count` bytes of the private area at `offset`, or none when they are not all there.
    std::optional<std::span<const BYTE>> PrivateBytes(size_t offset, size_t count) const
    {
        if (offset + count > privateEnd_)
            return std::nullopt;
        return bytes_.subspan(offset, count);
    }
    // `count` wide characters at `offset` within the supplied bytes, cut at the first NUL.
    WString Text(size_t offset, size_t count) const
    {
        WString out;
        for (size_t i = 0; i < count && offset + 2 * i + 2 <= bytes_.size(); ++i)
        {
            WCHAR c = static_cast<WCHAR>(bytes_[offset + 2 * i] | bytes_[offset + 2 * i + 1] << 8);
            if (!c)
                break;
            out.push_back(c);
        }
        return out;
    }
    // Up to N wide characters at `offset` within `end`, cut at the first NUL; the count taken.
    template <size_t N> size_t Text(size_t offset, WCHAR (&out)[N], size_t end) const
    {
        size_t n = 0;
        for (; n < N && offset + 2 * n + 2 <= end; ++n)
        {
            WCHAR c = static_cast<WCHAR>(bytes_[offset + 2 * n] | bytes_[offset + 2 * n + 1] << 8);
            if (!c)
                break;
            out[n] = c;
        }
        return n;
    }
    size_t StandardEnd() const { return standardEnd_; }
    size_t PrivateEnd() const { return privateEnd_; }
    WORD DmSize() const { return dmSize_; }
    WORD DmDriverExtra() const { return dmDriverExtra_; }
    std::span<const BYTE> Bytes() const { return bytes_; }

private:
    std::span<const BYTE> bytes_;
    WORD dmSize_ = 0;
    WORD dmDriverExtra_ = 0;
    size_t standardEnd_ = 0;
    size_t privateEnd_ = 0;
};

} // namespace velmo
