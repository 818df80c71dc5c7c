// The camera's own image file: a headerless dump of the 16-bit frame (510 samples a row,
// least significant byte first), optionally followed by the three colour planes. Nothing in
// the file says what it is; its length does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "state/image_store.h"

namespace corvex {

inline constexpr int kRawRowSamples = 510;
inline constexpr std::size_t kRawRowBytes = 1020;
inline constexpr int kEarlierRawRows = 256;

inline constexpr std::uint64_t kRawLength = 295800;               // 290 rows
inline constexpr std::size_t kRawPixelBytes = kRawLength;         // the samples before the planes
inline constexpr std::uint64_t kRawColourLength = 741240;         // 290 rows and the planes
inline constexpr std::uint64_t kEarlierRawLength = 261120;        // 256 rows
inline constexpr std::uint64_t kEarlierRawPaddedLength = 262144;  // 256 rows, then ignored bytes
inline constexpr std::uint64_t kEarlierRawColourLength = 654336;  // 256 rows, 256-row planes

// Whether a file of this length is a native raw file, and whether it carries colour planes.
bool IsRawLength(std::uint64_t length);
bool RawLengthHasPlanes(std::uint64_t length);

// What a raw file gives: `image` must hold the image the file is read over (columns 510 and
// 511 are not in the file and keep their values); planes are filled when asked for.
struct RawContents {
  std::vector<std::uint16_t> image;            // 148480 samples
  std::vector<std::uint8_t> red, green, blue;  // 148480 bytes each when planes were read
};

// Decodes a whole raw file by its length. Files of 256 rows leave rows 256-289 (and the
// planes' rows 256-289) at 0. False for a length that is not a raw file's.
bool DecodeRawImage(std::span<const std::uint8_t> bytes, bool withPlanes, RawContents& contents);

// Reads a raw file of any of the five lengths into `image` (and, when given and the file has
// them, the colour planes). False when the length is not a raw file's or the file cannot be
// read whole; nothing is changed then.
bool ReadRawImage(const std::filesystem::path& path, ImageBuffer& image,
                  const MutablePlaneView* planes);

// The current layout: 295800 bytes, then the planes when `planes` is given (741240 in all).
std::vector<std::uint8_t> EncodeRawImage(const ImageBuffer& image, const PlaneView* planes);

// A flat-field file (295800 bytes). Without colour each sample is the mean of itself and its
// right-hand neighbour, rounded down, which evens out the colour-matrix pattern.
std::vector<std::uint8_t> EncodeFlatField(const ImageBuffer& image, bool colourConverted);

// Writes a flat-field file; 0 on success, 1 on failure (the old file survives).
int WriteFlatFieldFile(const std::filesystem::path& path, const ImageBuffer& image,
                       bool colourConverted);

// "Delete": removes the chosen file. False when it could not be removed.
bool DeleteImageFile(const std::filesystem::path& path);

// Why `path` cannot be a capture run's dark frame ("not found", "not readable", "not a
// native raw dark frame ..."); nullopt when it can (a mono native raw file, 295800 bytes).
std::optional<std::string> DarkFrameProblem(const std::filesystem::path& path);
// Reads a dark frame file into `dark`, columns 510-511 (not in the file) set to 0. The
// problem when it cannot; `dark` is then unchanged.
std::optional<std::string> LoadDarkFrame(const std::filesystem::path& path, ImageBuffer& dark);

}  // namespace corvex
