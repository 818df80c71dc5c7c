// The messages of the file commands when the cause is not the one their fixed text names.
//
// "Unable to create file, check disk space" is right for a full disk and wrong for a denied
// directory or a name that is too long; "You didn't choose a valid QZ File" is right for a
// file of the wrong length and wrong for one that is missing. These keep the fixed texts for
// the cases they describe and say the cause, with the path, for the others.
#pragma once

#include <filesystem>
#include <string>

#include "platform/host.h"

namespace corvex {

// "Unable to create file <path>: <cause>".
std::string CannotCreateText(const std::filesystem::path& path, int error);
// "Unable to open <path>: <cause>".
std::string CannotOpenText(const std::filesystem::path& path, int error);

// A failed write: the numbered message `diskSpaceMessage` (6 or 29) when the disk is full,
// else CannotCreateText as message 50.
void ShowWriteFailure(Host& host, unsigned diskSpaceMessage, const std::filesystem::path& path,
                      int error);

// A file that cannot be opened for reading, as message 50.
void ShowOpenFailure(Host& host, const std::filesystem::path& path, int error);

}  // namespace corvex
