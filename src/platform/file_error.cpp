// Phrases for file errors.
#include "platform/file_error.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvex {

namespace {

const char* KindOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "not a regular file";
  if (S_ISDIR(st.st_mode)) return "a directory";
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  return "not a regular file";
}

}  // namespace

bool IsDiskSpaceError(int error) {
  return error == 0 || error == ENOSPC || error == EDQUOT || error == EFBIG;
}

std::string FileErrorText(const std::filesystem::path& path, int error) {
  switch (error) {
    case 0:
      return "unknown error";
    case kNotRegularFile: {
      const std::string kind = KindOf(path);
      return kind == "not a regular file" ? "it is not a regular file"
                                          : "it is " + kind + ", not a regular file";
    }
    case kWriteProtected:
      return "the file is write-protected";
    default:
      return std::strerror(error);
  }
}

}  // namespace corvex
