// The File menu's image files: opening an image file into the current image, reading the
// second image of a merge or calibration, and saving the current image as FITS, native raw,
// flat field or TIFF, with the messages each failure shows.
#include "commands/file_commands.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "commands/display_commands.h"
#include "corvex.h"
#include "files/file_messages.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "files/raw_file.h"
#include "files/tiff_file.h"
#include "platform/atomic_file.h"
#include "platform/read_file.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kMessageCannotOpen = 11;
constexpr int kMessageNotImageFile = 12;
constexpr int kMessageFitsUnreadable = 13;
constexpr int kMessageFitsNotOurs = 14;
constexpr int kMessageNotSecondImage = 16;

int FitsMessage(int result) {
  return result == kFitsNotOurs ? kMessageFitsNotOurs : kMessageFitsUnreadable;
}

std::vector<std::uint16_t> ImageCopy(const ImageBuffer& image) {
  return std::vector<std::uint16_t>(image.begin(), image.begin() + kImageValues);
}

void CopyPlane(const std::vector<std::uint8_t>& from, PlaneBuffer& to) {
  std::copy(from.begin(), from.end(), to.begin());
}

// The file's bytes when it has exactly `length` of them.
std::optional<std::vector<std::uint8_t>> ReadExactly(const std::filesystem::path& path,
                                                     std::uint64_t length) {
  auto bytes = ReadFileBytes(path, length);
  if (!bytes || bytes->size() != length) return std::nullopt;
  return bytes;
}

// Shows `message` (when not 0) and passes it on.
int Report(Corvex& corvex, int message) {
  if (message != 0) ShowMessage(corvex.host, message);
  return message;
}

}  // namespace

int LoadImageBytes(Corvex& corvex, const std::filesystem::path& path,
                   std::span<const std::uint8_t> bytes) {
  ProgramState& state = corvex.state;
  const ImageFileFormat* format = FindImageFileFormat(bytes.size());
  if (format == nullptr) return Report(corvex, kMessageNotImageFile);
  if (state.mergingMode && state.colourConverted && !format->colourPlanes) {
    return Report(corvex, kMessageNotImageFile);
  }

  // Everything is read into copies and committed only when the whole file was good.
  FitsContents contents{corvex.fits, corvex.history, ImageCopy(corvex.store.currentImage), {}, {},
                        {}};
  ResetFitsHeaderTexts(contents.fields, contents.history);
  if (format->fits) {
    const int result = DecodeFitsFile(bytes, format->layout, format->colourPlanes, contents);
    if (result != kFitsOk) return Report(corvex, FitsMessage(result));
  } else {
    RawContents raw{std::move(contents.image), {}, {}, {}};
    if (!DecodeRawImage(bytes, true, raw)) return Report(corvex, kMessageCannotOpen);
    contents.image = std::move(raw.image);
    contents.red = std::move(raw.red);
    contents.green = std::move(raw.green);
    contents.blue = std::move(raw.blue);
  }

  std::copy(contents.image.begin(), contents.image.end(), corvex.store.currentImage.begin());
  if (format->colourPlanes) {
    CopyPlane(contents.red, corvex.store.redPlane);
    CopyPlane(contents.green, corvex.store.greenPlane);
    CopyPlane(contents.blue, corvex.store.bluePlane);
    state.colourConverted = true;
  } else if (!state.mergingMode) {
    state.colourConverted = false;
  }
  corvex.fits = std::move(contents.fields);
  corvex.history = std::move(contents.history);
  state.currentImageFile = path.string();
  RebuildDisplay(corvex);
  return 0;
}

int LoadImageFile(Corvex& corvex, const std::filesystem::path& path) {
  if (const int error = CheckReadableFile(path); error != 0) {
    ShowOpenFailure(corvex.host, path, error);
    return kFreeTextMessage;
  }
  const std::optional<std::uint64_t> length = RegularFileLength(path);
  const ImageFileFormat* format = length ? FindImageFileFormat(*length) : nullptr;
  if (format == nullptr) return Report(corvex, kMessageNotImageFile);

  corvex.host.SetWaitCursor(true);
  const auto bytes = ReadExactly(path, *length);
  int message = 0;
  if (!bytes) {
    message = Report(corvex, format->fits ? kMessageFitsUnreadable : kMessageCannotOpen);
  } else {
    message = LoadImageBytes(corvex, path, *bytes);
  }
  corvex.host.SetWaitCursor(false);
  return message;
}

int LoadSecondImage(Corvex& corvex, const std::filesystem::path& path, ImageBuffer& buffer) {
  if (const int error = CheckReadableFile(path); error != 0) {
    ShowOpenFailure(corvex.host, path, error);
    return 1;
  }
  const std::optional<std::uint64_t> length = RegularFileLength(path);
  const ImageFileFormat* format = length ? FindImageFileFormat(*length) : nullptr;
  if (format == nullptr || (format->fits && format->layout == FitsLayout::kEarlier)) {
    Report(corvex, kMessageNotSecondImage);
    return 1;
  }

  if (format->fits) {
    const int result = ReadFitsPixels(path, buffer);
    if (result != kFitsOk) Report(corvex, FitsMessage(result));
    return result;
  }
  if (!ReadRawImage(path, buffer, nullptr)) {
    Report(corvex, kMessageCannotOpen);
    return 1;
  }
  // A raw file holds 510 values a row; the buffer's last two columns must not keep what an
  // earlier image left there, or a flat's level and a merge would use them.
  for (int row = 0; row < kImageRows; ++row) {
    std::fill_n(buffer.data() + row * kImageStride + kRawRowSamples, kImageStride - kRawRowSamples,
                0);
  }
  return 0;
}

int SaveFitsImage(Corvex& corvex, const std::filesystem::path& path) {
  corvex.host.SetWaitCursor(true);
  const PlaneView planes = MainPlanes(corvex.store);
  int error = 0;
  const int result = WriteFitsFile(path, corvex.store.currentImage, corvex.fits, corvex.history,
                                   corvex.state.colourConverted ? &planes : nullptr, &error);
  corvex.host.SetWaitCursor(false);
  if (result != kFitsOk) ShowWriteFailure(corvex.host, 29, path, error);
  return result;
}

int WriteRawImage(Corvex& corvex, const std::filesystem::path& path) {
  const PlaneView planes = MainPlanes(corvex.store);
  const bool withPlanes = corvex.state.colourConverted;
  const std::vector<std::uint8_t> bytes =
      EncodeRawImage(corvex.store.currentImage, withPlanes ? &planes : nullptr);
  const std::span<const std::uint8_t> all(bytes);

  AtomicFileWriter file(path);
  int failure = 0;
  if (!file.Open()) {
    failure = 17;
  } else {
    corvex.host.SetWaitCursor(true);
    if (!file.Write(all.first(kRawPixelBytes))) {
      failure = 18;
    } else if (withPlanes && !file.Write(all.subspan(kRawPixelBytes))) {
      failure = 19;
    } else if (!file.Commit()) {
      failure = withPlanes ? 19 : 18;
    }
    corvex.host.SetWaitCursor(false);
  }
  if (failure != 0) ShowMessage(corvex.host, failure);
  return failure;
}

int SaveFlatField(Corvex& corvex, const std::filesystem::path& path) {
  const int result =
      WriteFlatFieldFile(path, corvex.store.currentImage, corvex.state.colourConverted);
  if (result != 0) ShowMessage(corvex.host, 17);
  return result;
}

int SaveTiffImage(Corvex& corvex, const std::filesystem::path& path) {
  const bool colour = corvex.state.colourConverted;
  // The colour file is made from the display image as the window shows it now.
  if (colour) RebuildDisplayImage(corvex);
  corvex.host.SetWaitCursor(true);
  int error = 0;
  const int result =
      WriteTiffFile(colour, path, corvex.store.currentImage, corvex.display.colour.data(), &error);
  corvex.host.SetWaitCursor(false);
  if (result != 0) ShowWriteFailure(corvex.host, 29, path, error);
  return result;
}

}  // namespace corvex
