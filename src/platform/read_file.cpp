#include "platform/read_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

#include <system_error>

namespace corvex {

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(maxBytes);
  std::size_t filled = 0;
  bool failed = false;
  while (filled < maxBytes) {
    const ssize_t got = ::read(fd, bytes.data() + filled, maxBytes - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (failed) return std::nullopt;
  bytes.resize(filled);
  return bytes;
}

std::optional<std::uint64_t> RegularFileLength(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const std::uintmax_t length = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return length;
}

}  // namespace corvex
