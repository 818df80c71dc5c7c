// Replacing a file without ever losing the old one.
//
// Every file writer writes "<name>.tmp" beside its target and renames it over the target only
// when every byte went out; on any failure the temporary file is removed and the old file
// stays exactly as it was. Layouts and lengths are the writers' business, not this one's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace corvex {

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::filesystem::path target);
  ~AtomicFileWriter();  // an uncommitted temporary file is removed
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates (or truncates) the temporary file. False when it cannot be created.
  bool Open();
  // Writes all of `size` bytes. False on a failed or short write; once a write has failed
  // every later Write and Commit fails too.
  bool Write(const void* data, std::size_t size);
  bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes the data to disk and renames the temporary file over the target.
  bool Commit();

  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& TempPath() const { return tempPath_; }

 private:
  void Discard();

  std::filesystem::path target_;
  std::filesystem::path tempPath_;
  int fd_ = -1;
  bool failed_ = false;
};

// Open, one Write of all the bytes, Commit.
bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

// Test hook: after this many more bytes have been written through any AtomicFileWriter, every
// write comes up short, as on a full disk. nullopt switches the fault off.
void SetFileWriteFaultForTesting(std::optional<std::uint64_t> bytesBeforeFailure);

}  // namespace corvex
