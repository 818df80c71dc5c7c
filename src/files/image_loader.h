// Image files recognised by their exact length, as the camera's own files carry no header, or
// as standard FITS files (of other programs) by their first cards; and what stands at a
// calibration file's path, found before anything is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "files/fits_file.h"
#include "state/image_store.h"

namespace corvex {

struct ImageFileFormat {
  std::uint64_t length;
  std::string_view description;
  bool fits;          // else a native raw file
  bool colourPlanes;  // the three colour planes follow the samples
  FitsLayout layout;  // FITS files only
  int rows;           // sample rows the file holds (290, or 256 for the earliest raw files)
};

// The format of a file of this length, or nullptr when no image file has that length.
const ImageFileFormat* FindImageFileFormat(std::uint64_t length);

// Whether bytes (the file's first 13 cards or more) are a standard FITS file: they start as
// one, and not with the native header's own first cards. A native file at a length it never
// has (cut short, or grown) is refused as before, not read by the standard reader, which
// would take its unsigned samples (BZERO 0) for signed ones.
bool IsStandardFits(std::span<const std::uint8_t> firstBytes);
// IsStandardFits on the start of the file at `path`; false when it cannot be read.
bool FileIsStandardFits(const std::filesystem::path& path);

// What a calibration or merge file is read as: the capture run's dark frame (a mono native
// raw file of 295800 bytes only), the second image of dark and flat (the pixels-only
// loader's lengths), or an image opened for merging (every image file length).
enum class CalibrationUse { kRunDark, kSecondImage, kMergeImage };

// What stands at a calibration file's path. The capture run and the command-line tool word
// their refusals from these facts, each in its own order.
struct CalibrationFileFacts {
  bool exists = false;
  bool regular = false;
  int openError = 0;         // why a regular file cannot be opened for reading (errno); 0 if it can
  std::uint64_t length = 0;  // of a regular file
  bool lengthFits = false;   // a regular file of a length `use` takes
};
CalibrationFileFacts InspectCalibrationFile(const std::filesystem::path& path, CalibrationUse use);

}  // namespace corvex
