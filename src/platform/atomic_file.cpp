// Atomic file replacement through a temporary file and rename(2).
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace corvex {

namespace {
std::optional<std::uint64_t> g_bytesBeforeFault;

// How much of a write of `size` bytes the injected fault lets through.
std::size_t AllowedByFault(std::size_t size) {
  if (!g_bytesBeforeFault) return size;
  const std::uint64_t allowed = std::min<std::uint64_t>(size, *g_bytesBeforeFault);
  *g_bytesBeforeFault -= allowed;
  return static_cast<std::size_t>(allowed);
}
}  // namespace

void SetFileWriteFaultForTesting(std::optional<std::uint64_t> bytesBeforeFailure) {
  g_bytesBeforeFault = bytesBeforeFailure;
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target)
    : target_(std::move(target)), tempPath_(target_.string() + ".tmp") {}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Open() {
  Discard();
  failed_ = false;
  fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) failed_ = true;
  return fd_ >= 0;
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  const std::size_t allowed = AllowedByFault(size);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < allowed) {
    const ssize_t n = ::write(fd_, bytes + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done != size) failed_ = true;
  return !failed_;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || failed_) {
    Discard();
    return false;
  }
  const bool synced = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed || std::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    failed_ = true;
    Discard();
    return false;
  }
  return true;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(tempPath_.c_str());
  } else if (failed_) {
    ::unlink(tempPath_.c_str());
  }
}

bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
  AtomicFileWriter writer(target);
  return writer.Open() && writer.Write(bytes) && writer.Commit();
}

}  // namespace corvex
