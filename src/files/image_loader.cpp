#include "files/image_loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "files/fits_cards.h"
#include "files/raw_file.h"
#include "files/standard_fits.h"
#include "platform/read_file.h"

namespace corvex {

namespace {

constexpr ImageFileFormat kFormats[] = {
    {kEarlierRawPaddedLength, "native raw image, earlier layout (256 rows, padded)", false, false,
     FitsLayout::kCurrent, kEarlierRawRows},
    {kEarlierRawLength, "native raw image, earlier layout (256 rows)", false, false,
     FitsLayout::kCurrent, kEarlierRawRows},
    {kRawLength, "native raw image", false, false, FitsLayout::kCurrent, kImageRows},
    {kEarlierRawColourLength, "native raw colour image, earlier layout (256 rows)", false, true,
     FitsLayout::kCurrent, kEarlierRawRows},
    {kRawColourLength, "native raw colour image", false, true, FitsLayout::kCurrent, kImageRows},
    {kEarlierFitsLength, "FITS image, earlier header", true, false, FitsLayout::kEarlier,
     kImageRows},
    {kFitsLength, "FITS image", true, false, FitsLayout::kCurrent, kImageRows},
    {kEarlierFitsColourLength, "FITS colour image, earlier header", true, true,
     FitsLayout::kEarlier, kImageRows},
    {kFitsColourLength, "FITS colour image", true, true, FitsLayout::kCurrent, kImageRows},
};

}  // namespace

const ImageFileFormat* FindImageFileFormat(std::uint64_t length) {
  for (const ImageFileFormat& format : kFormats) {
    if (format.length == length) return &format;
  }
  return nullptr;
}

bool IsStandardFits(std::span<const std::uint8_t> firstBytes) {
  static const std::string native = BuildFitsHeader({}, {});
  constexpr std::size_t kFixedCards = 5 * kCardBytes;  // SIMPLE ... NAXIS2
  constexpr std::size_t kFirstHistory = 12 * kCardBytes;
  constexpr std::string_view kHistory = "HISTORY = '";
  if (!StartsAsFits(firstBytes)) return false;
  if (firstBytes.size() < kFirstHistory + kHistory.size()) return true;
  const std::string_view bytes(reinterpret_cast<const char*>(firstBytes.data()),
                               kFirstHistory + kHistory.size());
  return bytes.substr(0, kFixedCards) != std::string_view(native).substr(0, kFixedCards) ||
         bytes.substr(kFirstHistory) != kHistory;
}

bool FileIsStandardFits(const std::filesystem::path& path) {
  const auto bytes = ReadFileBytes(path, 13 * kCardBytes);
  return bytes && IsStandardFits(*bytes);
}

CalibrationFileFacts InspectCalibrationFile(const std::filesystem::path& path, CalibrationUse use) {
  CalibrationFileFacts facts;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  facts.exists = std::filesystem::exists(status);
  facts.regular = std::filesystem::is_regular_file(status);
  if (!facts.regular) return facts;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    facts.openError = errno;
  } else {
    close(fd);
  }
  facts.length = RegularFileLength(path).value_or(0);
  if (use == CalibrationUse::kRunDark) {
    facts.lengthFits = facts.length == kRawLength;
    return facts;
  }
  const ImageFileFormat* format = FindImageFileFormat(facts.length);
  // The pixels-only loader of dark and flat frames takes no file of the earlier FITS layout.
  facts.lengthFits = format != nullptr && (use == CalibrationUse::kMergeImage || !format->fits ||
                                           format->layout == FitsLayout::kCurrent);
  return facts;
}

}  // namespace corvex
