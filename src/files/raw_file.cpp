#include "files/raw_file.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "files/image_loader.h"
#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "platform/read_file.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr std::size_t kPlaneBytes = kImageValues;                           // 290 rows of 512
constexpr std::size_t kEarlierPlaneBytes = kEarlierRawRows * kImageStride;  // 256 rows

void DecodeRows(const std::uint8_t* in, int rows, std::vector<std::uint16_t>& image) {
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < kRawRowSamples; ++col, in += 2) {
      image[row * kImageStride + col] = LoadLe16(in);
    }
  }
}

void EncodeRows(const ImageBuffer& image, std::uint8_t* out) {
  for (int row = 0; row < kImageRows; ++row) {
    for (int col = 0; col < kRawRowSamples; ++col, out += 2) {
      StoreLe16(out, image[row * kImageStride + col]);
    }
  }
}

}  // namespace

bool IsRawLength(std::uint64_t length) {
  return length == kRawLength || length == kRawColourLength || length == kEarlierRawLength ||
         length == kEarlierRawPaddedLength || length == kEarlierRawColourLength;
}

bool RawLengthHasPlanes(std::uint64_t length) {
  return length == kRawColourLength || length == kEarlierRawColourLength;
}

bool DecodeRawImage(std::span<const std::uint8_t> bytes, bool withPlanes, RawContents& contents) {
  if (!IsRawLength(bytes.size()) ||
      contents.image.size() < static_cast<std::size_t>(kImageValues)) {
    return false;
  }
  const bool current = bytes.size() == kRawLength || bytes.size() == kRawColourLength;
  const int rows = current ? kImageRows : kEarlierRawRows;
  DecodeRows(bytes.data(), rows, contents.image);
  std::fill(contents.image.begin() + rows * kImageStride, contents.image.begin() + kImageValues, 0);

  if (withPlanes && RawLengthHasPlanes(bytes.size())) {
    const std::size_t planeBytes = current ? kPlaneBytes : kEarlierPlaneBytes;
    const std::uint8_t* in = bytes.data() + rows * kRawRowBytes;
    for (std::vector<std::uint8_t>* plane : {&contents.red, &contents.green, &contents.blue}) {
      plane->assign(kPlaneBytes, 0);
      std::copy_n(in, planeBytes, plane->begin());
      in += planeBytes;
    }
  }
  return true;
}

bool ReadRawImage(const std::filesystem::path& path, ImageBuffer& image,
                  const MutablePlaneView* planes) {
  const std::optional<std::uint64_t> length = RegularFileLength(path);
  if (!length || !IsRawLength(*length)) return false;
  const auto bytes = ReadFileBytes(path, *length);
  RawContents contents{std::vector<std::uint16_t>(image.begin(), image.begin() + kImageValues),
                       {}, {}, {}};
  if (!bytes || bytes->size() != *length || !DecodeRawImage(*bytes, planes != nullptr, contents)) {
    return false;
  }
  std::copy(contents.image.begin(), contents.image.end(), image.begin());
  if (planes != nullptr && !contents.red.empty()) {
    std::copy(contents.red.begin(), contents.red.end(), planes->red);
    std::copy(contents.green.begin(), contents.green.end(), planes->green);
    std::copy(contents.blue.begin(), contents.blue.end(), planes->blue);
  }
  return true;
}

std::vector<std::uint8_t> EncodeRawImage(const ImageBuffer& image, const PlaneView* planes) {
  std::vector<std::uint8_t> bytes(planes != nullptr ? kRawColourLength : kRawLength);
  EncodeRows(image, bytes.data());
  if (planes != nullptr) {
    std::uint8_t* out = bytes.data() + kRawPixelBytes;
    for (const std::uint8_t* plane : {planes->red, planes->green, planes->blue}) {
      out = std::copy_n(plane, kPlaneBytes, out);
    }
  }
  return bytes;
}

std::vector<std::uint8_t> EncodeFlatField(const ImageBuffer& image, bool colourConverted) {
  std::vector<std::uint8_t> bytes(kRawLength);
  std::uint8_t* out = bytes.data();
  for (int row = 0; row < kImageRows; ++row) {
    const std::uint16_t* s = image.data() + row * kImageStride;
    for (int col = 0; col < kRawRowSamples; ++col, out += 2) {
      const unsigned value = colourConverted ? s[col] : (s[col] + s[col + 1]) / 2u;
      StoreLe16(out, static_cast<std::uint16_t>(value));
    }
  }
  return bytes;
}

int WriteFlatFieldFile(const std::filesystem::path& path, const ImageBuffer& image,
                       bool colourConverted) {
  return WriteFileAtomically(path, EncodeFlatField(image, colourConverted)) ? 0 : 1;
}

bool DeleteImageFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::remove(path, ec) && !ec;
}

std::optional<std::string> DarkFrameProblem(const std::filesystem::path& path) {
  const CalibrationFileFacts facts = InspectCalibrationFile(path, CalibrationUse::kRunDark);
  if (!facts.exists) return "not found";
  if (!facts.lengthFits) {
    return "not a native raw dark frame (a mono native raw file of 295800 bytes)";
  }
  if (facts.openError != 0) return "not readable";
  return std::nullopt;
}

std::optional<std::string> LoadDarkFrame(const std::filesystem::path& path, ImageBuffer& dark) {
  if (auto problem = DarkFrameProblem(path)) return problem;
  if (!ReadRawImage(path, dark, nullptr)) return "not readable";
  for (int row = 0; row < kImageRows; ++row) {
    std::fill_n(dark.data() + row * kImageStride + kRawRowSamples, kImageStride - kRawRowSamples,
                0);
  }
  return std::nullopt;
}

}  // namespace corvex
