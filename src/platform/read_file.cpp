// Whole-file reads that never block on a FIFO or device.
#include "platform/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/file_error.h"

namespace corvex {

namespace {

// Opens `path` for reading only when it is a regular file. The open itself must not block:
// opening a FIFO for reading waits for a writer, so it is opened non-blocking, looked at, and
// only a regular file is switched back to blocking reads. Returns the descriptor or -1 with
// `error` set.
int OpenRegularFile(const std::filesystem::path& path, int& error,
                    std::uint64_t* length = nullptr) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = errno;
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    error = kNotRegularFile;
    ::close(fd);
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (length) *length = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t maxBytes, int* error) {
  int cause = 0;
  std::uint64_t length = 0;
  const int fd = OpenRegularFile(path, cause, &length);
  if (fd < 0) {
    if (error) *error = cause;
    return std::nullopt;
  }
  // Sized by the file, so that a generous limit costs nothing; a file that grows while it is
  // read is read on up to the limit.
  std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(maxBytes, length + 1));
  std::size_t filled = 0;
  while (filled < maxBytes) {
    if (filled == bytes.size()) bytes.resize(std::min(maxBytes, bytes.size() * 2));
    const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) cause = errno;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (cause != 0) {
    if (error) *error = cause;
    return std::nullopt;
  }
  bytes.resize(filled);
  if (error) *error = 0;
  return bytes;
}

std::optional<std::uint64_t> RegularFileLength(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const std::uintmax_t length = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return length;
}

int CheckReadableFile(const std::filesystem::path& path) {
  int error = 0;
  const int fd = OpenRegularFile(path, error);
  if (fd >= 0) ::close(fd);
  return error;
}

}  // namespace corvex
