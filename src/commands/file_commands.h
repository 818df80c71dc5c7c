// The File menu's commands on image files: open, the second image of a merge or
// calibration, and the saves of the current image. A file of none of the program's own
// lengths that starts as a FITS file does is read as standard FITS (files of other programs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "files/standard_fits.h"
#include "state/image_store.h"

namespace corvex {

struct Corvex;

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

// "Save as FITS" once the path is chosen: the current image, with its planes when it is
// colour converted. A failure shows message 29 when the disk is full, else its cause with the
// path. Returns the writer's result.
int SaveFitsImage(Corvex& corvex, const std::filesystem::path& path);

// The colour filter phase, the saturation factor and the program's name and version; DATE-OBS
// and DATE-AVG from the header's date and time.
StandardFitsExtras StandardFitsExtrasFor(const Corvex& corvex);

// "Save as standard FITS" once the path is chosen: the current image (the RGB cube when it is
// colour converted), with what the program knows about it (the header fields, the processing
// history, the colour filter phase and the colour display's saturation). A failure shows
// message 29 when the disk is full, else its cause with the path; an earlier file of that
// name stays as it was. Returns 0 or 1.
int SaveStandardFitsImage(Corvex& corvex, const std::filesystem::path& path,
                          ImageType type = ImageType::kLight);

// "Save" once the path is chosen: the current image, with its planes when colour converted.
// Shows message 17 when the file cannot be created, 18 when the samples cannot be written and
// 19 when the planes cannot; returns that number, 0 on success. The old file survives a failure.
int WriteRawImage(Corvex& corvex, const std::filesystem::path& path);

// "Save as Flatfield" once the path is chosen: a failure shows message 17.
int SaveFlatField(Corvex& corvex, const std::filesystem::path& path);

// "Save as Tiff File" once the path is chosen: message 29 when the disk is full, else the
// cause with the path.
int SaveTiffImage(Corvex& corvex, const std::filesystem::path& path);

}  // namespace corvex
