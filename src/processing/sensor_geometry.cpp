#include "processing/sensor_geometry.h"

#include <algorithm>
#include <cmath>

#include "corvex.h"

namespace corvex {

namespace {

template <typename Value>
void MirrorInto(const Value* from, Value* to, int firstRow) {
  for (int row = firstRow; row < kImageRows; ++row) {
    const Value* in = from + row * kImageStride;
    Value* out = to + row * kImageStride;
    std::reverse_copy(in, in + kImageStride, out);
  }
}

}  // namespace

int BlackLevel(const ImageBuffer& image) {
  long sum = 0;
  for (int row = 20; row <= 219; ++row) {
    for (int col = 3; col <= 5; ++col) sum += image[row * kImageStride + col];
  }
  return static_cast<int>(sum / 600);
}

bool HasLabelBand(const ImageBuffer& image) {
  return image[4] + image[5] == 2 * kLabelMarkerValue;
}

void ResampleRows(const std::uint8_t* source, int sourceRows, int rowBytes, std::uint8_t* target,
                  int targetRows, float factor) {
  for (int n = 0; n < targetRows; ++n) {
    const float s = static_cast<float>(n) / factor;
    const int r = std::min(static_cast<int>(std::floor(s)), sourceRows - 1);
    const float f = s - static_cast<float>(r);
    const int second = n == targetRows - 1 ? r : std::min(r + 1, sourceRows - 1);
    const std::uint8_t* a = source + r * rowBytes;
    const std::uint8_t* b = source + second * rowBytes;
    std::uint8_t* out = target + n * rowBytes;
    for (int i = 0; i < rowBytes; ++i) {
      const float v = static_cast<float>(a[i]) + static_cast<float>(b[i] - a[i]) * f;
      out[i] = static_cast<std::uint8_t>(std::min(static_cast<int>(v), 255));
    }
  }
}

void MirrorImage(Corvex& corvex) {
  ImageStore& store = corvex.store;
  const int firstRow = FirstUnprotectedRow(store.currentImage);
  CopyImage(store.currentImage, store.secondaryImage);
  MirrorInto(store.currentImage.data(), store.secondaryImage.data(), firstRow);
  CopyImage(store.secondaryImage, store.currentImage);
  if (corvex.state.colourConverted) {
    PlaneBuffer* planes[3] = {&store.redPlane, &store.greenPlane, &store.bluePlane};
    PlaneBuffer* scratch[3] = {&store.colourScratch.red, &store.colourScratch.green,
                               &store.colourScratch.blue};
    for (int i = 0; i < 3; ++i) {
      std::copy_n(planes[i]->begin(), kImageValues, scratch[i]->begin());
      MirrorInto(planes[i]->data(), scratch[i]->data(), firstRow);
      std::copy_n(scratch[i]->begin(), kImageValues, planes[i]->begin());
    }
  }
  RebuildDisplay(corvex);
}

void ToggleQzGeometry(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.qzGeometry = !state.qzGeometry;
  if (state.qzGeometry) state.fitToWindow = false;
  RebuildDisplay(corvex);
}

void ToggleFitToWindow(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.fitToWindow = !state.fitToWindow;
  if (state.fitToWindow && state.qzGeometry) {
    state.qzGeometry = false;
    RebuildDisplay(corvex);
  }
}

}  // namespace corvex
