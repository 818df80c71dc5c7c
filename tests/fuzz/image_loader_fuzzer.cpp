// Opening an image file from arbitrary bytes. Files are told apart by their exact length, so
// the low four bits of the first byte pick one of the nine image file lengths and the rest of
// the input is laid over a zero-filled file of that length; 9 to 15 take the input as it is,
// which reaches the standard FITS reader. Bits 4 and 5 set the merging mode and the colour
// flag the load starts from.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "commands/file_commands.h"
#include "corvex.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "files/raw_file.h"
#include "files/standard_fits.h"
#include "platform/clock.h"
#include "quiet_host.h"

using namespace corvex;

namespace {

constexpr std::uint64_t kLengths[] = {
    kEarlierRawPaddedLength, kEarlierRawLength,  kRawLength,  kEarlierRawColourLength,
    kRawColourLength,        kEarlierFitsLength, kFitsLength, kEarlierFitsColourLength,
    kFitsColourLength,
};
constexpr std::size_t kLengthCount = sizeof kLengths / sizeof kLengths[0];
// Room for a standard colour file (three planes of 510 x 290 and a header).
constexpr std::size_t kLargestFile = 1 << 20;

// One context for the whole run (its buffers are large); every input starts it afresh.
struct Fixture {
  fuzz::QuietHost host;
  VirtualClock clock;
  Corvex corvex{host, clock, "/nonexistent/corvex-fuzz-home"};
};

bool SameFields(const FitsHeaderFields& a, const FitsHeaderFields& b) {
  return a.object == b.object && a.observer == b.observer &&
         a.observationDate == b.observationDate && a.observationTime == b.observationTime &&
         a.origin == b.origin && a.telescope == b.telescope && a.instrument == b.instrument &&
         a.commentText == b.commentText && a.historyNote == b.historyNote &&
         a.utOffsetHours == b.utOffsetHours && a.exposureSeconds == b.exposureSeconds &&
         a.pixelWidth == b.pixelWidth && a.pixelHeight == b.pixelHeight &&
         a.focalLength == b.focalLength && a.aperture == b.aperture &&
         a.filterName == b.filterName && a.unsignedFormat == b.unsignedFormat;
}

// What a load may change, as it stood before the load (but for the colour flag). The buffers
// are compared with memcmp, which is not traced for coverage: a compare loop here would take
// most of the run time.
struct Snapshot {
  std::vector<std::uint16_t> image;
  std::vector<std::uint8_t> red, green, blue;
  FitsHeaderFields fits;
  ProcessingHistory history;
  std::string currentImageFile;

  explicit Snapshot(const Corvex& c)
      : image(c.store.currentImage.begin(), c.store.currentImage.begin() + kImageValues),
        red(c.store.redPlane.begin(), c.store.redPlane.end()),
        green(c.store.greenPlane.begin(), c.store.greenPlane.end()),
        blue(c.store.bluePlane.begin(), c.store.bluePlane.end()),
        fits(c.fits),
        history(c.history),
        currentImageFile(c.state.currentImageFile) {}

  bool Matches(const Corvex& c) const {
    return std::memcmp(image.data(), c.store.currentImage.data(), image.size() * 2) == 0 &&
           std::memcmp(red.data(), c.store.redPlane.data(), red.size()) == 0 &&
           std::memcmp(green.data(), c.store.greenPlane.data(), green.size()) == 0 &&
           std::memcmp(blue.data(), c.store.bluePlane.data(), blue.size()) == 0 &&
           SameFields(c.fits, fits) && c.history.entries == history.entries &&
           c.state.currentImageFile == currentImageFile;
  }
};

// A known image, planes and header for a failed load to leave alone.
void StartFrom(Corvex& corvex, bool mergingMode, bool colourConverted) {
  corvex.state = ProgramState{};
  corvex.state.mergingMode = mergingMode;
  corvex.state.colourConverted = colourConverted;
  corvex.state.currentImageFile = "before.fit";
  corvex.store.currentImage.Fill(1234);
  corvex.store.redPlane.Fill(11);
  corvex.store.greenPlane.Fill(22);
  corvex.store.bluePlane.Fill(33);
  corvex.fits = FitsHeaderFields{};
  corvex.fits.object = "before";
  corvex.fits.exposureSeconds = 1.5;
  corvex.history = ProcessingHistory{};
  corvex.history.entries[0] = "before";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static Fixture* const fixture = new Fixture;
  Corvex& corvex = fixture->corvex;

  const bool colourConverted = (data[0] & 0x20) != 0;
  StartFrom(corvex, (data[0] & 0x10) != 0, colourConverted);
  // The start is the same every time but for the flags, so it is copied once.
  static const Snapshot* const before = new Snapshot(corvex);

  // The file, in a buffer kept between inputs and filled with memcpy and memset: large
  // allocations and byte loops are slow under the sanitizers.
  static std::vector<std::uint8_t>* const buffer = new std::vector<std::uint8_t>(kLargestFile);
  const std::size_t selector = data[0] & 0x0F;
  const std::uint64_t length =
      selector < kLengthCount ? kLengths[selector] : std::min<std::size_t>(size - 1, kLargestFile);
  const std::size_t laid = std::min<std::size_t>(size - 1, length);
  std::memcpy(buffer->data(), data + 1, laid);
  std::memset(buffer->data() + laid, 0, length - laid);
  const std::span<const std::uint8_t> file(buffer->data(), length);

  const int message = LoadImageBytes(corvex, "fuzz.fit", file);
  if (message != 0) {
    fuzz::Require(before->Matches(corvex) && corvex.state.colourConverted == colourConverted,
                  "a failed load changes nothing");
    return 0;
  }
  const ImageFileFormat* format = FindImageFileFormat(length);
  fuzz::Require(format != nullptr || StartsAsFits(file),
                "only an image file's length, or a standard FITS file, loads");
  if (format != nullptr && format->colourPlanes) {
    fuzz::Require(corvex.state.colourConverted, "planes make colour");
  }
  fuzz::Require(corvex.state.currentImageFile == "fuzz.fit", "a load remembers its file");
  return 0;
}
