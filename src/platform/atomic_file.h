// Replacing a file without ever losing the old one.
//
// A writer creates a temporary file of its own beside the target, exclusively and under a
// fresh name (".<name>.corvex-<pid>-<six letters>"), writes into it, and renames it over the
// target only when every byte went out. On any failure the temporary file is removed and the
// target stays exactly as it was. Nothing that already stands at a name is followed or
// truncated: a link planted where a temporary file might go is never written through, and a
// user's own "<name>.tmp" is none of this writer's business.
//
// A replaced file keeps its permissions (and, where the system allows, its owner); a file
// whose write permission is off, or that the user may not write, is refused rather than
// replaced behind the user's back. A symbolic link at the target is followed: the file it
// names is replaced and the link stays. Temporaries that a killed run left behind are removed
// the first time each directory is written to in a run.
//
// Layouts and lengths are the writers' business, not this one's.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "platform/file_error.h"

namespace corvex {

enum class ExistingFile {
  kReplace,  // an existing target is replaced
  kKeep,     // an existing target is never touched: the write fails with EEXIST
};

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::filesystem::path target,
                            ExistingFile existing = ExistingFile::kReplace);
  ~AtomicFileWriter();  // an uncommitted temporary file is removed
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Checks the target and creates the temporary file. False when the target may not be
  // replaced or the temporary file cannot be created.
  bool Open();
  // Writes all of `size` bytes. False on a failed or short write; once a write has failed
  // every later Write and Commit fails too.
  bool Write(const void* data, std::size_t size);
  bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes the data to disk and puts the temporary file in the target's place.
  bool Commit();

  const std::filesystem::path& Target() const { return target_; }
  // The temporary file of the last Open; empty before.
  const std::filesystem::path& TempPath() const { return tempPath_; }
  // Why the writer failed: an errno value, kNotRegularFile or kWriteProtected; 0 while it
  // has not failed.
  int Error() const { return error_; }

 private:
  bool Fail(int error);
  bool CheckTarget();
  bool CreateTemporary();
  int PutInPlace();
  void Discard();

  std::filesystem::path target_;
  ExistingFile existing_;
  std::filesystem::path finalPath_;  // the target, or the file its symbolic link names
  std::filesystem::path tempPath_;
  int fd_ = -1;
  bool tempExists_ = false;
  bool failed_ = false;
  int error_ = 0;
  // The replaced file's permissions and owner, given to the new one.
  bool keepAttributes_ = false;
  mode_t mode_ = 0;
  uid_t owner_ = 0;
  gid_t group_ = 0;
};

// Open, one Write of all the bytes, Commit. `error` (when given) receives the writer's Error().
bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                         int* error = nullptr, ExistingFile existing = ExistingFile::kReplace);

// The process that made a temporary file of this name, or nullopt when the name is not one
// of this writer's temporaries.
std::optional<pid_t> TemporaryFileOwner(std::string_view name);

// Removes, from `directory`, this writer's temporary files whose process is no longer
// running. Anything else (other names, links, directories, live runs' files) is left alone.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::filesystem::path& directory);

// Test seams. After `bytesBeforeFailure` more bytes have been written through any
// AtomicFileWriter, every write comes up short with `error`, as on a full disk; nullopt
// switches the fault off. A create fault makes every Open fail with that errno (0: off), as a
// directory the user may not write to would, even for root.
void SetFileWriteFaultForTesting(std::optional<std::uint64_t> bytesBeforeFailure,
                                 int error = ENOSPC);
void SetFileCreateFaultForTesting(int error);

}  // namespace corvex
