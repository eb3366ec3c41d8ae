// Reading a user's picture: binary PPM (P6) and PGM (P5), 8 or 16 bits a sample, read with explicit
// bounds; anything else gets a clear error.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace demo
{

struct Image
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // red, green, blue per pixel, rows top to bottom
};

inline constexpr long long kMaxImagePixels = 64LL * 1024 * 1024;

std::optional<Image> ReadPnm(std::span<const std::uint8_t> bytes, std::string& error);

} // namespace demo
