// "Save as standard FITS": the current image written as a standard FITS file, with what the
// program knows about it (the header fields, the processing history, the colour filter phase
// and the colour display's saturation).
#pragma once

#include <filesystem>

#include "files/standard_fits.h"

namespace corvex {

struct Corvex;

// The colour filter phase, the saturation factor and the program's name and version; DATE-OBS
// and DATE-AVG from the header's date and time.
StandardFitsExtras StandardFitsExtrasFor(const Corvex& corvex);

// Writes the current image (the RGB cube when it is colour converted) to `path`. A failure
// shows message 29 when the disk is full, else its cause with the path; an earlier file of
// that name stays as it was. Returns 0 or 1.
int SaveStandardFitsImage(Corvex& corvex, const std::filesystem::path& path,
                          ImageType type = ImageType::kLight);

}  // namespace corvex
