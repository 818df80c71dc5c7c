// Calibration from the menus and the capture run: subtracting a dark frame file, applying a
// flat field file, the run's dark frame, and merging two images aligned on a star.
#include "commands/calibration_commands.h"

#include <algorithm>

#include "commands/file_commands.h"
#include "corvex.h"
#include "files/image_loader.h"
#include "files/raw_file.h"
#include "processing/calibration.h"
#include "processing/sensor_geometry.h"
#include "state/messages.h"

namespace corvex {

bool SubtractDarkFrameFile(Corvex& corvex, const std::filesystem::path& path) {
  ImageStore& store = corvex.store;
  if (LoadSecondImage(corvex, path, store.secondaryImage) != 0) return false;
  CopyImage(store.currentImage, store.undoImage);
  SubtractDark(store.currentImage, store.secondaryImage, true);
  AddHistoryLabel(corvex.history, "Dark Frame Subtracted");
  RebuildDisplay(corvex);
  return true;
}

bool ApplyFlatFieldFile(Corvex& corvex, const std::filesystem::path& path) {
  ImageStore& store = corvex.store;
  if (LoadSecondImage(corvex, path, store.secondaryImage) != 0) return false;
  CopyImage(store.currentImage, store.undoImage);
  corvex.host.OpenProgress("FLAT FIELD PROGRESS");
  ApplyFlat(store.currentImage, store.secondaryImage, FlatLevel(store.secondaryImage),
            FirstUnprotectedRow(store.currentImage) + 1,
            [&corvex](int row) { corvex.host.SetProgress(std::min(9 + row, 256)); });
  corvex.host.CloseProgress();
  AddHistoryLabel(corvex.history, "Flat Field Subtracted");
  RebuildDisplay(corvex);
  return true;
}

std::filesystem::path DarkFramePath(const Corvex& corvex) {
  const std::string& file = corvex.state.darkFrameFile;
  return file.empty() ? corvex.paths.DefaultDarkFile() : corvex.paths.Map(file);
}

std::optional<std::string> CheckRunCalibration(const Corvex& corvex) {
  if (!corvex.state.autoDarkSubtract) return std::nullopt;
  const std::filesystem::path path = DarkFramePath(corvex);
  if (auto problem = DarkFrameProblem(path)) {
    return "Cannot use the dark frame " + path.string() + ": " + *problem;
  }
  return std::nullopt;
}

bool StartMerging(Corvex& corvex) {
  ProgramState& state = corvex.state;
  if (state.qzGeometry || state.fitToWindow) {
    ShowMessage(corvex.host, 30);
    return false;
  }
  if (state.mergingMode) {
    ShowMessage(corvex.host, 31);
    return false;
  }
  state.mergingMode = true;
  return true;
}

void MergeImages(Corvex& corvex, ImageBuffer& base, const MutablePlaneView* basePlanes,
                 const MergePositions& at, bool average) {
  const MutablePlaneView current = MainPlanes(corvex.store);
  const bool colour = corvex.state.colourConverted && basePlanes != nullptr;
  MergePass(base, corvex.store.currentImage, colour ? basePlanes : nullptr,
            colour ? &current : nullptr, at, average);
  corvex.state.mergingMode = false;
  RebuildDisplay(corvex);
}

}  // namespace corvex
