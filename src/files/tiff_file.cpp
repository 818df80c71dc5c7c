#include "files/tiff_file.h"

#include <algorithm>
#include <cmath>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "processing/sensor_geometry.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kWidth = 510;
constexpr int kRows = 372;
constexpr int kStrips = 12;
constexpr int kRowsPerStrip = 31;
constexpr int kDataOffset = 258;
constexpr std::uint16_t kShort = 3, kLong = 4, kRational = 5;

struct Entry {
  std::uint16_t tag, type;
  std::uint32_t count, value;
};

}  // namespace

std::vector<std::uint8_t> EncodeTiff(bool colour, const ImageBuffer& image,
                                     const std::uint8_t* colourDisplay) {
  const int samples = colour ? 3 : 1;
  const std::uint32_t strip = kWidth * kRowsPerStrip * samples;
  const std::uint32_t bitsOffset = kDataOffset + kStrips * strip;
  std::vector<std::uint8_t> bytes(bitsOffset + (colour ? 6 : 0), 0);
  std::uint8_t* p = bytes.data();
  p[0] = p[1] = 'I';
  StoreLe16(p + 2, 42);
  StoreLe32(p + 4, 8);
  const Entry entries[13] = {
      {254, kLong, 1, 0},
      {256, kShort, 1, kWidth},
      {257, kShort, 1, kRows},
      {258, kShort, static_cast<std::uint32_t>(samples), colour ? bitsOffset : 8},
      {259, kShort, 1, 1},
      {262, kShort, 1, colour ? 2u : 1u},
      {273, kLong, kStrips, 186},
      {277, kShort, 1, static_cast<std::uint32_t>(samples)},
      {278, kLong, 1, kRowsPerStrip},
      {279, kShort, kStrips, 234},
      {282, kRational, 1, 170},
      {283, kRational, 1, 178},
      {296, kShort, 1, 3},
  };
  StoreLe16(p + 8, 13);
  for (int e = 0; e < 13; ++e) {
    std::uint8_t* at = p + 10 + 12 * e;
    StoreLe16(at, entries[e].tag);
    StoreLe16(at + 2, entries[e].type);
    StoreLe32(at + 4, entries[e].count);
    // A SHORT value sits in the first two bytes of the value field.
    if (entries[e].type == kShort && entries[e].count == 1) {
      StoreLe16(at + 8, static_cast<std::uint16_t>(entries[e].value));
    } else {
      StoreLe32(at + 8, entries[e].value);
    }
  }
  StoreLe32(p + 166, 0);
  StoreLe32(p + 170, 510);
  StoreLe32(p + 174, 4);
  StoreLe32(p + 178, 256);
  StoreLe32(p + 182, 3);
  for (int k = 0; k < kStrips; ++k) {
    StoreLe32(p + 186 + 4 * k, kDataOffset + k * strip);
    StoreLe16(p + 234 + 2 * k, static_cast<std::uint16_t>(strip));
  }

  // The 290 stored rows stretched to 372 by the resampling the QZ display uses. A colour file
  // takes the display image, stored bottom row first, so its rows come out in reverse.
  std::uint8_t* out = p + kDataOffset;
  if (colour) {
    std::vector<std::uint8_t> rows(1536 * kRows);
    ResampleRows(colourDisplay, kImageRows, 1536, rows.data(), kRows, kTiffFactor);
    for (int i = 0; i < kRows; ++i) {
      const std::uint8_t* bgr = rows.data() + (kRows - 1 - i) * 1536;
      for (int x = 0; x < kWidth; ++x, bgr += 3) {
        *out++ = bgr[2];
        *out++ = bgr[1];
        *out++ = bgr[0];
      }
    }
  } else {
    std::vector<std::uint8_t> high(kImageValues);
    for (int i = 0; i < kImageValues; ++i) high[i] = image[i] >> 8;
    std::vector<std::uint8_t> rows(kImageStride * kRows);
    ResampleRows(high.data(), kImageRows, kImageStride, rows.data(), kRows, kTiffFactor);
    for (int i = 0; i < kRows; ++i) out = std::copy_n(rows.data() + i * kImageStride, kWidth, out);
  }
  if (colour) {
    for (int s = 0; s < 3; ++s) StoreLe16(p + bitsOffset + 2 * s, 8);
  }
  return bytes;
}

int WriteTiffFile(bool colour, const std::filesystem::path& path, const ImageBuffer& image,
                  const std::uint8_t* colourDisplay, int* error) {
  return WriteFileAtomically(path, EncodeTiff(colour, image, colourDisplay), error) ? 0 : 1;
}

}  // namespace corvex
