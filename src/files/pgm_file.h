// 16-bit binary PGM ("P5", maxval 65535, most significant byte first): how guider frames
// leave the program for other tools, and how a guider dark comes back in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvex {

std::vector<std::uint8_t> EncodePgm16(std::span<const std::uint16_t> values, int width, int height);

// The values of a 16-bit PGM of exactly width x height, or an error text. 8-bit PGMs (maxval
// 255 or less) are accepted and scaled to the high byte, as the guider sends them.
struct PgmImage {
  std::vector<std::uint16_t> values;
  std::string error;  // empty on success
};
PgmImage DecodePgm(std::span<const std::uint8_t> bytes, int width, int height);

// Writes through an atomic replace; false on failure (an earlier file stays).
bool WritePgm16(const std::filesystem::path& path, std::span<const std::uint16_t> values, int width,
                int height);
PgmImage ReadPgm(const std::filesystem::path& path, int width, int height);

}  // namespace corvex
