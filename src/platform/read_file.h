// Reading a whole (small) file into memory, so that parsers work on bytes and never half-way
// through a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace corvex {

// Up to `maxBytes` bytes from the start of the file; fewer when the file is shorter. nullopt
// when the file cannot be opened or a read fails.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t maxBytes);

// The file's length in bytes; nullopt when it does not exist or is not a regular file.
std::optional<std::uint64_t> RegularFileLength(const std::filesystem::path& path);

}  // namespace corvex
