// File failure messages with their causes.
#include "files/file_messages.h"

#include "platform/file_error.h"
#include "state/messages.h"

namespace corvex {

std::string CannotCreateText(const std::filesystem::path& path, int error) {
  return "Unable to create file " + path.string() + ": " + FileErrorText(path, error);
}

std::string CannotOpenText(const std::filesystem::path& path, int error) {
  return "Unable to open " + path.string() + ": " + FileErrorText(path, error);
}

void ShowWriteFailure(Host& host, unsigned diskSpaceMessage, const std::filesystem::path& path,
                      int error) {
  if (IsDiskSpaceError(error)) {
    ShowMessage(host, diskSpaceMessage);
  } else {
    ShowMessage(host, kFreeTextMessage, CannotCreateText(path, error));
  }
}

void ShowOpenFailure(Host& host, const std::filesystem::path& path, int error) {
  ShowMessage(host, kFreeTextMessage, CannotOpenText(path, error));
}

}  // namespace corvex
