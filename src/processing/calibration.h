// Calibrating and combining 16-bit frames: dark frame subtraction (from the menu and the
// automatic one of a capture run), flat fielding, and merging two images aligned on a star.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "state/image_store.h"

namespace corvex {

struct Corvex;

// ---- Passes (pure) ----
// v - d where d < v, else 0; with `keepBright`, values of 65500 and more stay (the menu's
// rule; the capture run subtracts from every value).
void SubtractDark(ImageBuffer& image, const ImageBuffer& dark, bool keepBright);
// The flat's level: 0.0002 x the sum of 11 runs of 491 values starting at 2619 + 290 k.
double FlatLevel(const ImageBuffer& flat);
// v / f x level over rows 1-289 (11-289 for a labelled frame) and columns 5-509; a flat
// value of 0 or an image value of 65534 and more leaves the pixel alone.
void ApplyFlat(ImageBuffer& image, const ImageBuffer& flat, double level, int firstRow,
               const std::function<void(int row)>& progress = {});

struct MergePositions {
  int baseX = 0, baseY = 0;    // the star in the base image
  int mergeX = 0, mergeY = 0;  // the same star in the image merged into it
};
// Adds (or averages) the merge image into the base image, shifted so the two stars meet.
// Colour planes, when given, are always averaged. The result ends up in both images.
void MergePass(ImageBuffer& base, ImageBuffer& merge, const MutablePlaneView* basePlanes,
               const MutablePlaneView* mergePlanes, const MergePositions& at, bool average);

// ---- Commands ----
// "Subtract Images (Dark Frame)" once the file is chosen: loaded as a second image (its
// messages on failure, nothing changed), subtracted, labelled.
bool SubtractDarkFrameFile(Corvex& corvex, const std::filesystem::path& path);
// "Apply Flat Field" once the file is chosen.
bool ApplyFlatFieldFile(Corvex& corvex, const std::filesystem::path& path);

// The dark frame a capture run subtracts: "c:\dark.def" when darkFrameFile is empty.
std::filesystem::path DarkFramePath(const Corvex& corvex);
// Why `path` cannot be a capture run's dark frame ("not found", "not readable", "not a
// native raw dark frame ..."); nullopt when it can (a mono native raw file, 295800 bytes).
std::optional<std::string> DarkFrameProblem(const std::filesystem::path& path);
// Reads a dark frame file into `dark`, columns 510-511 (not in the file) set to 0. The
// problem when it cannot; `dark` is then unchanged.
std::optional<std::string> LoadDarkFrame(const std::filesystem::path& path, ImageBuffer& dark);
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
