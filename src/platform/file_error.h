// Why a file could not be read or written, in words a user can act on.
//
// Readers and writers report an errno value (ENOENT, EACCES, ENOSPC, ENAMETOOLONG, ...) or one
// of the two causes below that have no errno of their own.
#pragma once

#include <filesystem>
#include <string>

namespace corvex {

inline constexpr int kNotRegularFile = -1;  // a directory, FIFO, socket or device stands there
inline constexpr int kWriteProtected = -2;  // the file exists and its write permission is off

// Whether the cause is a full disk or quota (or unknown), the case the "check disk space"
// messages describe.
bool IsDiskSpaceError(int error);

// The cause as a phrase: "Permission denied", "File name too long", "it is a FIFO, not a
// regular file", "the file is write-protected". For kNotRegularFile the path is looked at to
// name what stands there.
std::string FileErrorText(const std::filesystem::path& path, int error);

}  // namespace corvex
