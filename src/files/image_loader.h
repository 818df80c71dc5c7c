// Opening an image file: recognised by its exact length, loaded into the current image (or,
// pixels only, into a second buffer for merging and calibration). A file of none of those
// lengths that starts as a FITS file does is read as standard FITS (files of other programs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "files/fits_file.h"
#include "state/image_store.h"

namespace corvex {

struct Corvex;

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

// The Open command once the file is chosen. A file that cannot be opened (missing, a
// directory or FIFO, not readable) gets message 50 with the path and the cause. Shows
// message 12 for a length that is not an image file's (or, in merging mode over a colour
// image, a file without planes), 13 or 14
// when a FITS file cannot be read or was not written by this program, and 11 when a raw file
// cannot be read. A standard FITS file that is not an image of 510 or 512 x 290 (mono or RGB)
// gets message 50 naming what it holds, one that cannot be read message 50 with the cause.
// Returns the message number shown, 0 on success. A failed load changes
// nothing; a successful one replaces the image, the planes when the file has them, the header
// texts and the processing history, and rebuilds the display.
int LoadImageFile(Corvex& corvex, const std::filesystem::path& path);

// LoadImageFile on a file's bytes already in memory.
int LoadImageBytes(Corvex& corvex, const std::filesystem::path& path,
                   std::span<const std::uint8_t> bytes);

// The second image of a merge or calibration: samples only, into `buffer`. Accepts the raw
// lengths and the current FITS layouts. Shows message 16 for any other length, message 50
// with the path and cause for a file that cannot be opened, 13 or 14 for a FITS file that
// cannot be read or is not ours, 11 for an unreadable raw file; takes a standard FITS image
// (a colour one's luminance) with message 50 when it cannot. Returns 0, 1 or the FITS
// reader's result 2. `buffer` changes only on success.
int LoadSecondImage(Corvex& corvex, const std::filesystem::path& path, ImageBuffer& buffer);

}  // namespace corvex
