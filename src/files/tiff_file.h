// TIFF export: the image at its aspect-corrected height of 372 rows, 510 pixels wide, 8-bit
// grey (raw high bytes) or RGB (the colour display image), uncompressed, in 12 strips.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "state/image_store.h"

namespace corvex {

inline constexpr std::uint64_t kGreyTiffLength = 189978;
inline constexpr std::uint64_t kColourTiffLength = 569424;

// `colourDisplay` is the 24-bit display image (rows bottom-up, blue-green-red); it is used
// only for a colour file.
std::vector<std::uint8_t> EncodeTiff(bool colour, const ImageBuffer& image,
                                     const std::uint8_t* colourDisplay);
// 0, or 1 when the file could not be written (an earlier file stays).
int WriteTiffFile(bool colour, const std::filesystem::path& path, const ImageBuffer& image,
                  const std::uint8_t* colourDisplay, int* error = nullptr);

}  // namespace corvex
