// The fixed image buffers every subsystem works on in place.
//
// One image is in memory at a time, with a small fixed family of companions. Each buffer is
// allocated once when the store is made and keeps its size for the whole run.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace corvex {

inline constexpr int kImageRows = 290;
inline constexpr int kImageStride = 512;
inline constexpr int kImageValues = 148480;  // kImageRows x kImageStride
inline constexpr int kImageBufferValues = 148484;  // room allocated per main buffer
inline constexpr int kPlaneBufferBytes = kImageValues + 1;  // each colour plane has a spare byte
inline constexpr int kReadoutWidth = 500;
inline constexpr int kReadoutBytes = 290000;  // 500 x 290 x 2
inline constexpr int kReadoutLeftPad = 6;
inline constexpr int kGuiderValues = 145000;  // 500 x 290, row stride 500
inline constexpr int kFocusSize = 128;

// An array of N values made once, zero-filled; it cannot be resized or copied by accident.
template <typename T, std::size_t N>
class FixedBuffer {
 public:
  FixedBuffer() : data_(std::make_unique<T[]>(N)) {}
  FixedBuffer(const FixedBuffer&) = delete;
  FixedBuffer& operator=(const FixedBuffer&) = delete;

  static constexpr std::size_t size() { return N; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  std::span<T, N> span() { return std::span<T, N>(data_.get(), N); }
  std::span<const T, N> span() const { return std::span<const T, N>(data_.get(), N); }
  T* begin() { return data(); }
  T* end() { return data() + N; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + N; }
  void Fill(T value) { std::fill(begin(), end(), value); }

 private:
  std::unique_ptr<T[]> data_;
};

using ImageBuffer = FixedBuffer<std::uint16_t, kImageBufferValues>;
using PlaneBuffer = FixedBuffer<std::uint8_t, kPlaneBufferBytes>;
using GuiderBuffer = FixedBuffer<std::uint16_t, kGuiderValues>;
using SumBuffer = FixedBuffer<std::uint32_t, kImageValues>;
using CountBuffer = FixedBuffer<std::uint16_t, kImageValues>;

struct ColourPlanes {
  PlaneBuffer red;
  PlaneBuffer green;
  PlaneBuffer blue;
};

// What a capture run keeps for itself from its first exposure to its last. No command or
// processing step uses them as work space, so a series' sum and its dark survive whatever
// runs on the current image in between (colour synthesis, undo copies, a menu command).
struct RunBuffers {
  SumBuffer seriesSum;      // the frames of a series added up, uncapped
  CountBuffer seriesCount;  // how many frames each pixel of the sum holds
  ImageBuffer dark;         // the dark frame subtracted from every frame of the run
  ImageBuffer firstHalf;    // the first half of an interlaced self-guided exposure
};

struct ImageStore {
  // 290 rows x 512 values; a camera frame fills columns 6-505 of each row.
  ImageBuffer currentImage;    // shown, processed, saved and printed
  ImageBuffer secondaryImage;  // work space of colour synthesis and mirror
  ImageBuffer undoImage;       // "Undo Last Filter" copy
  RunBuffers run;              // the capture run's own

  // 8-bit colour planes on the same grid as the main buffers.
  PlaneBuffer redPlane;
  PlaneBuffer greenPlane;
  PlaneBuffer bluePlane;
  ColourPlanes colourUndo;     // "Undo Last Colour Filter"
  ColourPlanes colourScratch;  // work space of mirror, chromatic adjustment, colour filters
  ColourPlanes colourDetail;   // anti-alias filter

  // The guider camera: 290 rows x 500 values.
  GuiderBuffer guiderImage;
  GuiderBuffer guiderScratch;  // the hot-pixel filter's output
  GuiderBuffer guiderDark;
};

// The three colour planes of one image, by reference; the first 148480 bytes of each are used.
template <typename Byte>
struct PlaneSet {
  Byte* red;
  Byte* green;
  Byte* blue;
  operator PlaneSet<const Byte>() const { return {red, green, blue}; }
};
using PlaneView = PlaneSet<const std::uint8_t>;
using MutablePlaneView = PlaneSet<std::uint8_t>;

inline PlaneView MainPlanes(const ImageStore& store) {
  return {store.redPlane.data(), store.greenPlane.data(), store.bluePlane.data()};
}
inline MutablePlaneView MainPlanes(ImageStore& store) {
  return {store.redPlane.data(), store.greenPlane.data(), store.bluePlane.data()};
}

// The used part (148480 values) of a main image buffer copied into another.
void CopyImage(const ImageBuffer& from, ImageBuffer& to);
void CopyGuiderImage(const GuiderBuffer& from, GuiderBuffer& to);

// The start-up contents: every value of row r is r x 225 in the three main buffers and
// r x 200 in guiderImage; guiderDark is all 0.
void FillStartupRamps(ImageStore& store);

}  // namespace corvex
