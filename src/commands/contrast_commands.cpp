// The Contrast menu: each stretch fills the program's one stretch table by its formula and
// applies it to the current image with an undo copy, a progress bar and a history label.
#include "commands/contrast_commands.h"

#include <cstdio>
#include <string>

#include "corvex.h"
#include "processing/contrast_stretch.h"
#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kProgressBlocks = 16;
constexpr int kBlockValues = (kImageValues - kLabelBandValues) / kProgressBlocks;  // 8960

// Fills the table, applies it with the display refresh and records the label.
bool StretchWith(Corvex& corvex, const std::string& label) {
  ApplyStretchTable(corvex, true);
  AddHistoryLabel(corvex.history, label);
  return true;
}

}  // namespace

void ApplyStretchTable(Corvex& corvex, bool refresh) {
  Host& host = corvex.host;
  ImageBuffer& image = corvex.store.currentImage;
  host.SetWaitCursor(true);
  host.OpenProgress("CONTRAST STRETCH");
  CopyImage(image, corvex.store.undoImage);
  if (!HasLabelBand(image)) ApplyStretch(image, corvex.stretch, 0, kLabelBandValues);
  for (int block = 0; block < kProgressBlocks; ++block) {
    host.SetProgress(block * 16);
    const int start = kLabelBandValues + block * kBlockValues;
    ApplyStretch(image, corvex.stretch, start, start + kBlockValues);
  }
  host.CloseProgress();
  host.SetWaitCursor(false);
  if (refresh) RebuildDisplay(corvex);
}

bool NormalStretch(Corvex& corvex, int black, int white) {
  if (black >= white) return false;
  FillNormalTable(corvex.stretch, black, white);
  return StretchWith(
      corvex, "Normal Stretch : max " + std::to_string(white) + " ,min " + std::to_string(black));
}

bool PowerStretch(Corvex& corvex, double power) {
  if (power == 1.0) return false;
  FillPowerTable(corvex.stretch, power);
  char label[40];
  std::snprintf(label, sizeof label, "Power Stretch : %1.1f", power);
  return StretchWith(corvex, label);
}

bool SineStretch(Corvex& corvex) {
  FillSineTable(corvex.stretch);
  return StretchWith(corvex, "Sine Stretch");
}

bool RemoveBackground(Corvex& corvex, bool refresh) {
  const int level = corvex.state.backgroundLevel;
  if (level < 3) return false;
  FillRemoveBackgroundTable(corvex.stretch, level);
  ApplyStretchTable(corvex, refresh);
  AddHistoryLabel(corvex.history, "Background Removed : min " + std::to_string(level - 2));
  return true;
}

bool NonLinearStretch(Corvex& corvex, int power) {
  FillNonLinearTable(corvex.stretch, power);
  return StretchWith(corvex, "Non-Linear Stretch : power " + std::to_string(power));
}

bool LogStretch(Corvex& corvex) {
  FillLogTable(corvex.stretch);
  return StretchWith(corvex, "Log Stretch");
}

bool AntiLogStretch(Corvex& corvex) {
  FillAntiLogTable(corvex.stretch);
  return StretchWith(corvex, "Anti-Log Stretch");
}

bool InvertImage(Corvex& corvex) {
  FillInvertTable(corvex.stretch);
  return StretchWith(corvex, "Invert Image to Negative");
}

void SynthesisNonLinearStretch(Corvex& corvex, double power) {
  FillSynthesisNonLinearTable(corvex.stretch, power);
  ApplyStretchTable(corvex, false);
  AddHistoryLabel(corvex.history,
                  "Non-Linear Stretch : power " + std::to_string(static_cast<int>(power)));
}

void UndoLastFilter(Corvex& corvex) {
  CopyImage(corvex.store.undoImage, corvex.store.currentImage);
  RebuildDisplay(corvex);
  RemoveLastHistoryEntry(corvex.history);
}

}  // namespace corvex
