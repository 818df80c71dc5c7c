// Atomic file replacement through an exclusively created temporary file and rename(2).
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <system_error>

namespace corvex {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMarker = ".corvex-";
constexpr std::size_t kRandomLetters = 6;
// The target's name is cut in the temporary name so that the whole stays under NAME_MAX.
constexpr std::size_t kKeptNameBytes = 200;
constexpr int kCreateAttempts = 100;

std::optional<std::uint64_t> g_bytesBeforeFault;
int g_writeFaultError = ENOSPC;
int g_createFaultError = 0;

// How much of a write of `size` bytes the injected fault lets through.
std::size_t AllowedByFault(std::size_t size) {
  if (!g_bytesBeforeFault) return size;
  const std::uint64_t allowed = std::min<std::uint64_t>(size, *g_bytesBeforeFault);
  *g_bytesBeforeFault -= allowed;
  return static_cast<std::size_t>(allowed);
}

std::string RandomLetters() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<std::uint64_t>(::getpid()) << 32));
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string letters(kRandomLetters, ' ');
  for (char& c : letters) c = kLetters[pick(generator)];
  return letters;
}

std::string TemporaryName(const std::string& targetName) {
  return "." + targetName.substr(0, kKeptNameBytes) + std::string(kTempMarker) +
         std::to_string(::getpid()) + "-" + RandomLetters();
}

fs::path DirectoryOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// A symbolic link at the target is followed, so that the file it names is replaced and the
// link is kept. A dangling or looping link is replaced itself, as any other name would be.
fs::path FollowLinks(const fs::path& target) {
  std::error_code ec;
  if (!fs::is_symlink(target, ec)) return target;
  fs::path real = fs::canonical(target, ec);
  return ec ? target : real;
}

// Temporaries of crashed runs are looked for once per directory and run; the writers of one
// run are few and their directories fewer.
void RemoveStaleTemporariesOnce(const fs::path& directory) {
  static std::mutex mutex;
  static std::set<std::string> done;
  std::error_code ec;
  const fs::path key = fs::weakly_canonical(directory, ec);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert((ec ? directory : key).string()).second) return;
  }
  RemoveStaleTemporaries(directory);
}

bool ProcessIsRunning(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Makes sure the directory entry of a new or renamed file reaches the disk too.
void SyncDirectory(const fs::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void SetFileWriteFaultForTesting(std::optional<std::uint64_t> bytesBeforeFailure, int error) {
  g_bytesBeforeFault = bytesBeforeFailure;
  g_writeFaultError = error;
}

void SetFileCreateFaultForTesting(int error) {
  g_createFaultError = error;
}

std::optional<pid_t> TemporaryFileOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  const std::size_t marker = name.rfind(kTempMarker);
  if (marker == std::string_view::npos || marker < 2) return std::nullopt;
  std::string_view rest = name.substr(marker + kTempMarker.size());
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || rest.size() - dash - 1 != kRandomLetters) {
    return std::nullopt;
  }
  const std::string_view digits = rest.substr(0, dash);
  if (digits.size() > 9) return std::nullopt;
  pid_t pid = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  for (char c : rest.substr(dash + 1)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

int RemoveStaleTemporaries(const fs::path& directory) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::optional<pid_t> owner = TemporaryFileOwner(name);
    if (!owner || *owner == ::getpid() || ProcessIsRunning(*owner)) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid() && ::geteuid() != 0) continue;
    if (::unlink(it->path().c_str()) == 0) ++removed;
  }
  return removed;
}

AtomicFileWriter::AtomicFileWriter(fs::path target, ExistingFile existing)
    : target_(std::move(target)), existing_(existing) {}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Fail(int error) {
  if (!failed_) error_ = error;
  failed_ = true;
  Discard();
  return false;
}

// Whether the target may be written, and what the new file takes over from it.
bool AtomicFileWriter::CheckTarget() {
  keepAttributes_ = false;
  if (existing_ == ExistingFile::kKeep) {
    // Anything at the name counts, a dangling link included.
    struct stat st {};
    finalPath_ = target_;
    if (::lstat(target_.c_str(), &st) == 0) return Fail(EEXIST);
    return errno == ENOENT || Fail(errno);
  }

  finalPath_ = FollowLinks(target_);
  struct stat st {};
  if (::stat(finalPath_.c_str(), &st) != 0) return errno == ENOENT || Fail(errno);
  if (!S_ISREG(st.st_mode)) return Fail(kNotRegularFile);
  // Root may write anything, so the permission bits are looked at as well: a file with
  // every write bit off was made read-only on purpose.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Fail(kWriteProtected);
  if (::faccessat(AT_FDCWD, finalPath_.c_str(), W_OK, AT_EACCESS) != 0) {
    return Fail(errno == EACCES || errno == EPERM ? kWriteProtected : errno);
  }
  keepAttributes_ = true;
  mode_ = st.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
  owner_ = st.st_uid;
  group_ = st.st_gid;
  return true;
}

bool AtomicFileWriter::CreateTemporary() {
  const fs::path directory = DirectoryOf(finalPath_);
  RemoveStaleTemporariesOnce(directory);
  // A file that replaces another starts private and takes the old one's permissions before
  // any data goes in; a new file gets the usual ones, less the umask.
  const mode_t createMode = keepAttributes_ ? S_IRUSR | S_IWUSR : 0644;
  const std::string name = finalPath_.filename().string();
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const fs::path candidate = directory / TemporaryName(name);
    fd_ =
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
    if (fd_ >= 0) {
      tempPath_ = candidate;
      tempExists_ = true;
      break;
    }
    if (errno != EEXIST) return Fail(errno);
  }
  if (fd_ < 0) return Fail(EEXIST);
  if (keepAttributes_) {
    // Only root can give a file away; a change of group alone may still be allowed.
    if ((owner_ != ::geteuid() || group_ != ::getegid()) && ::fchown(fd_, owner_, group_) != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd_, static_cast<uid_t>(-1), group_);
    }
    if (::fchmod(fd_, mode_) != 0) return Fail(errno);
  }
  return true;
}

bool AtomicFileWriter::Open() {
  Discard();
  failed_ = false;
  error_ = 0;
  tempPath_.clear();
  if (g_createFaultError != 0) return Fail(g_createFaultError);
  return CheckTarget() && CreateTemporary();
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  const std::size_t allowed = AllowedByFault(size);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  int error = 0;
  while (done < allowed) {
    const ssize_t n = ::write(fd_, bytes + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done == size) return true;
  if (error == 0) error = allowed < size ? g_writeFaultError : ENOSPC;
  return Fail(error);
}

// Renames the temporary file over the target, or, when an existing target must be kept, puts
// it there only if nothing stands at the name at that very moment. Returns 0 or an errno.
int AtomicFileWriter::PutInPlace() {
  const char* from = tempPath_.c_str();
  const char* to = finalPath_.c_str();
  if (existing_ == ExistingFile::kReplace) return ::rename(from, to) == 0 ? 0 : errno;

  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  // A file system without that rename: a hard link fails just as surely on an existing name.
  if (::link(from, to) == 0) {
    ::unlink(from);
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
  // No hard links either (a FAT card, say): look, then rename.
  struct stat st {};
  if (::lstat(to, &st) == 0) return EEXIST;
  return ::rename(from, to) == 0 ? 0 : errno;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || failed_) return Fail(error_ != 0 ? error_ : EBADF);
  if (::fsync(fd_) != 0) return Fail(errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) return Fail(errno);
  if (const int error = PutInPlace(); error != 0) return Fail(error);
  tempExists_ = false;
  // A new name must survive a crash as well as the data: without it the file is lost. A
  // replaced name is either the old file or the new one after a crash, both whole.
  if (existing_ == ExistingFile::kKeep) SyncDirectory(DirectoryOf(finalPath_));
  return true;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (tempExists_) {
    ::unlink(tempPath_.c_str());
    tempExists_ = false;
  }
}

bool WriteFileAtomically(const fs::path& target, std::span<const std::uint8_t> bytes, int* error,
                         ExistingFile existing) {
  AtomicFileWriter writer(target, existing);
  const bool written = writer.Open() && writer.Write(bytes) && writer.Commit();
  if (error) *error = writer.Error();
  return written;
}

}  // namespace corvex
