// Calibration commands: dark frame and flat field files, the capture run's dark frame, and
// merging two images.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "processing/calibration.h"
#include "state/image_store.h"

namespace corvex {

struct Corvex;

// "Subtract Images (Dark Frame)" once the file is chosen: loaded as a second image (its
// messages on failure, nothing changed), subtracted, labelled.
bool SubtractDarkFrameFile(Corvex& corvex, const std::filesystem::path& path);
// "Apply Flat Field" once the file is chosen.
bool ApplyFlatFieldFile(Corvex& corvex, const std::filesystem::path& path);

// The dark frame a capture run subtracts: "c:\dark.def" when darkFrameFile is empty.
std::filesystem::path DarkFramePath(const Corvex& corvex);
// What keeps a capture run with the current settings from using its calibration files: with
// automatic dark subtraction, a message naming the dark frame file and the reason. nullopt
// when the run can use them all. A run checks this before its first exposure; so may a
// front end before it starts one.
std::optional<std::string> CheckRunCalibration(const Corvex& corvex);

// "Merge two images together": refused outside standard geometry (message 30) or while
// merging (31); otherwise merging mode starts.
bool StartMerging(Corvex& corvex);
// "Merge": the base image (with its planes when colour) into which the current image is
// merged; the result goes to both, merging mode ends and the display is rebuilt.
void MergeImages(Corvex& corvex, ImageBuffer& base, const MutablePlaneView* basePlanes,
                 const MergePositions& at, bool average);

}  // namespace corvex
