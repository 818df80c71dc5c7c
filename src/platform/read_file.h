// Reading a whole (small) file into memory, so that parsers work on bytes and never half-way
// through a stream.
//
// Only regular files are read: a FIFO, device or directory standing where a file is expected
// is refused at once instead of blocking the program or feeding it endless bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace corvex {

// Up to `maxBytes` bytes from the start of the file; fewer when the file is shorter. nullopt
// when it is not a regular file, cannot be opened or a read fails; `error` (when given) then
// says why (an errno value, or kNotRegularFile).
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t maxBytes, int* error = nullptr);

// The file's length in bytes; nullopt when it does not exist or is not a regular file.
std::optional<std::uint64_t> RegularFileLength(const std::filesystem::path& path);

// Whether the file can be opened for reading as a regular file: 0, or why not (an errno
// value, or kNotRegularFile). Nothing is read.
int CheckReadableFile(const std::filesystem::path& path);

}  // namespace corvex
