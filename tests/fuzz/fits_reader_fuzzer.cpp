// The FITS reader on arbitrary bytes. The first byte picks the layout (bit 0: the earlier
// 36-card header) and whether colour planes are read (bit 1); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "files/fits_cards.h"
#include "files/fits_file.h"
#include "quiet_host.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const FitsLayout layout = (data[0] & 1) != 0 ? FitsLayout::kEarlier : FitsLayout::kCurrent;
  const bool withPlanes = (data[0] & 2) != 0;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  FitsContents contents;
  const int result = DecodeFitsFile(file, layout, withPlanes, contents);

  // Only a file that ends before the layout does fails; only a whole one is read.
  const std::size_t cards =
      layout == FitsLayout::kCurrent ? kFitsHeaderCards : kEarlierFitsHeaderCards;
  const std::size_t needed =
      cards * kCardBytes + kFitsPixelBytes + (withPlanes ? 3 * kFitsPlaneBytes : 0);
  fuzz::Require(result == kFitsOk || result == kFitsFailed || result == kFitsNotOurs,
                "the reader returns one of its three results");
  if (result == kFitsFailed) fuzz::Require(file.size() < needed, "a whole file is not 'failed'");
  if (result != kFitsOk) return 0;
  fuzz::Require(file.size() >= needed, "a short file is not read");
  fuzz::Require(contents.image.size() == static_cast<std::size_t>(kImageValues),
                "a read file gives every sample");
  if (withPlanes) {
    for (const auto* plane : {&contents.red, &contents.green, &contents.blue}) {
      fuzz::Require(plane->size() == kFitsPlaneBytes, "a read colour file gives whole planes");
    }
  }
  return 0;
}
