// Whole-buffer copies and the start-up test ramps.
#include "state/image_store.h"

namespace corvex {

void CopyImage(const ImageBuffer& from, ImageBuffer& to) {
  std::copy_n(from.data(), kImageValues, to.data());
}

void CopyGuiderImage(const GuiderBuffer& from, GuiderBuffer& to) {
  std::copy_n(from.data(), kGuiderValues, to.data());
}

void FillStartupRamps(ImageStore& store) {
  for (int r = 0; r < kImageRows; ++r) {
    const auto value = static_cast<std::uint16_t>(r * 225);
    const std::size_t rowStart = static_cast<std::size_t>(r) * kImageStride;
    for (ImageBuffer* buffer : {&store.currentImage, &store.secondaryImage, &store.undoImage}) {
      std::fill_n(buffer->data() + rowStart, kImageStride, value);
    }
    std::fill_n(store.guiderImage.data() + static_cast<std::size_t>(r) * kReadoutWidth,
                kReadoutWidth, static_cast<std::uint16_t>(r * 200));
  }
  store.guiderDark.Fill(0);
}

}  // namespace corvex
