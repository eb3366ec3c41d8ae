#include "pnm.h"

#include <cctype>

namespace demo
{
namespace
{
class Header
{
public:
    explicit Header(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    // The next decimal field, after white space and comments.
    std::optional<long long> Number()
    {
        SkipSpace();
        long long v = 0;
        std::size_t digits = 0;
        while (m_at < m_bytes.size() && std::isdigit(m_bytes[m_at]))
        {
            v = v * 10 + (m_bytes[m_at++] - '0');
            if (++digits > 9)
                return std::nullopt;
        }
        if (digits == 0)
            return std::nullopt;
        return v;
    }

    // Exactly one white-space byte ends the header.
    bool EndOfHeader()
    {
        if (m_at >= m_bytes.size() || !std::isspace(m_bytes[m_at]))
            return false;
        ++m_at;
        return true;
    }

    std::size_t Offset() const { return m_at; }

private:
    void SkipSpace()
    {
        while (m_at < m_bytes.size())
        {
            if (m_bytes[m_at] == '#')
                while (m_at < m_bytes.size() && m_bytes[m_at] != '\n')
                    ++m_at;
            else if (std::isspace(m_bytes[m_at]))
                ++m_at;
            else
                break;
        }
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 2;
};
} // namespace

std::optional<Image> ReadPnm(std::span<const std::uint8_t> bytes, std::string& error)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
    {
        error = "not a binary PGM (P5) or PPM (P6) file";
        return std::nullopt;
    }
    const int channels = bytes[1] == '6' ? 3 : 1;
    Header h(bytes);
    const auto width = h.Number();
    const auto height = h.Number();
    const auto maxval = h.Number();
    if (!width || !height || !maxval || !h.EndOfHeader())
    {
        error = "damaged header";
        return std::nullopt;
    }
    if (*width < 1 || *height < 1 || *width * *height > kMaxImagePixels)
    {
        error = "image size " + std::to_string(*width) + " x " + std::to_string(*height) + " out of range";
        return std::nullopt;
    }
    if (*maxval < 1 || *maxval > 65535)
    {
        error = "maximum sample value " + std::to_string(*maxval) + " out of range";
        return std::nullopt;
    }
    const std::size_t sampleBytes = *maxval > 255 ? 2 : 1;
    const std::size_t pixels = static_cast<std::size_t>(*width * *height);
    const std::size_t need = pixels * channels * sampleBytes;
    if (bytes.size() - h.Offset() < need)
    {
        error = "pixel data cut short: " + std::to_string(bytes.size() - h.Offset()) + " of " +
                std::to_string(need) + " bytes";
        return std::nullopt;
    }
    Image img;
    img.width = static_cast<int>(*width);
    img.height = static_cast<int>(*height);
    img.rgb.resize(pixels * 3);
    const std::uint8_t* p = bytes.data() + h.Offset();
    auto sample = [&]() {
        unsigned v = *p++;
        if (sampleBytes == 2)
            v = (v << 8) | *p++;
        const unsigned scaled =
            (v * 255 + static_cast<unsigned>(*maxval) / 2) / static_cast<unsigned>(*maxval);
        return static_cast<std::uint8_t>(scaled > 255 ? 255 : scaled);
    };
    for (std::size_t i = 0; i < pixels; ++i)
    {
        if (channels == 3)
        {
            img.rgb[3 * i] = sample();
            img.rgb[3 * i + 1] = sample();
            img.rgb[3 * i + 2] = sample();
        }
        else
            img.rgb[3 * i] = img.rgb[3 * i + 1] = img.rgb[3 * i + 2] = sample();
    }
    return img;
}

} // namespace demo
