// The Filters menu: each filter runs its pass over the current image with an undo copy, then
// rebuilds the display and records its label in the processing history.
#include "commands/filter_commands.h"

#include <cstdio>
#include <string>

#include "commands/colour_commands.h"
#include "corvex.h"
#include "processing/sensor_geometry.h"
#include "processing/spatial_filters.h"

namespace corvex {

namespace {

// Undo copy and work copy, the pass, the result back, then the display.
template <typename Pass>
void RunPass(Corvex& corvex, bool refresh, Pass pass) {
  ImageStore& store = corvex.store;
  corvex.host.SetWaitCursor(true);
  CopyImage(store.currentImage, store.undoImage);
  CopyImage(store.currentImage, store.secondaryImage);
  pass(store.currentImage, store.secondaryImage, FirstUnprotectedRow(store.currentImage));
  CopyImage(store.secondaryImage, store.currentImage);
  corvex.host.SetWaitCursor(false);
  if (refresh) RebuildDisplay(corvex);
}

}  // namespace

void ConvolutionFilter(Corvex& corvex, int radius, Kernel kernel, int divisor, bool refresh) {
  RunPass(corvex, refresh, [&](const ImageBuffer& in, ImageBuffer& out, int firstRow) {
    ConvolvePass(in, out, radius, KernelEntries(kernel), divisor, firstRow);
  });
}

void LowPassFilter(Corvex& corvex) {
  ConvolutionFilter(corvex, 1, Kernel::kWeightedMean, 16, true);
  AddHistoryLabel(corvex.history, "Lowpass Smoother Filter");
}

void GaussianFilter(Corvex& corvex) {
  ConvolutionFilter(corvex, 2, Kernel::kGaussian, 80, true);
  AddHistoryLabel(corvex.history, "Gaussian Filter");
}

void HighPassLowPowerFilter(Corvex& corvex, bool refresh) {
  ConvolutionFilter(corvex, 1, Kernel::kHighPassLow, 1, refresh);
  AddHistoryLabel(corvex.history, "High Pass Low Power Filter");
}

void HighPassHighPowerFilter(Corvex& corvex) {
  ConvolutionFilter(corvex, 2, Kernel::kHighPassHigh, 1, true);
  AddHistoryLabel(corvex.history, "High Pass High Power Filter");
}

void SmootherSharperFilter(Corvex& corvex) {
  ConvolutionFilter(corvex, 2, Kernel::kSmootherSharper, 1, true);
  AddHistoryLabel(corvex.history, "Smoother/Sharper Filter");
}

void BasReliefFilter(Corvex& corvex) {
  ConvolutionFilter(corvex, 2, Kernel::kBasRelief, 1, true);
  AddHistoryLabel(corvex.history, "Bas Relief Filter");
}

void UnsharpMask(Corvex& corvex, int radius, int power, bool refresh) {
  if (corvex.state.colourConverted) SaveColourUndo(corvex);
  RunPass(corvex, refresh, [&](const ImageBuffer& in, ImageBuffer& out, int firstRow) {
    UnsharpPass(in, out, radius, power, firstRow);
  });
  AddHistoryLabel(corvex.history, "Unsharp Mask : rad " + std::to_string(radius) + " ,power " +
                                      std::to_string(power));
}

void MedianFilter(Corvex& corvex, int radius, int powerTenths) {
  RunPass(corvex, true, [&](const ImageBuffer& in, ImageBuffer& out, int firstRow) {
    MedianPass(in, out, radius, powerTenths, firstRow);
  });
  char label[40];
  std::snprintf(label, sizeof label, "Median Filter : rad %d ,power %1.1f", radius,
                powerTenths / 10.0);
  AddHistoryLabel(corvex.history, label);
}

void GradientFilter(Corvex& corvex) {
  corvex.host.SetWaitCursor(true);
  CopyImage(corvex.store.currentImage, corvex.store.undoImage);
  GradientPass(corvex.store.currentImage, FirstUnprotectedRow(corvex.store.currentImage));
  corvex.host.SetWaitCursor(false);
  RebuildDisplay(corvex);
  AddHistoryLabel(corvex.history, "Gradient Filter");
}

void MirrorImage(Corvex& corvex) {
  ImageStore& store = corvex.store;
  const int firstRow = FirstUnprotectedRow(store.currentImage);
  CopyImage(store.currentImage, store.secondaryImage);
  MirrorRows(store.currentImage.data(), store.secondaryImage.data(), firstRow);
  CopyImage(store.secondaryImage, store.currentImage);
  if (corvex.state.colourConverted) {
    PlaneBuffer* planes[3] = {&store.redPlane, &store.greenPlane, &store.bluePlane};
    PlaneBuffer* scratch[3] = {&store.colourScratch.red, &store.colourScratch.green,
                               &store.colourScratch.blue};
    for (int i = 0; i < 3; ++i) {
      std::copy_n(planes[i]->begin(), kImageValues, scratch[i]->begin());
      MirrorRows(planes[i]->data(), scratch[i]->data(), firstRow);
      std::copy_n(scratch[i]->begin(), kImageValues, planes[i]->begin());
    }
  }
  RebuildDisplay(corvex);
}

}  // namespace corvex
