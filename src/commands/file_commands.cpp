// The File menu's image files: opening an image file (the program's own, or a standard FITS
// file of another program) into the current image, reading the second image of a merge or
// calibration, and saving the current image as FITS, standard FITS, native raw, flat field or
// TIFF, with the messages each failure shows.
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
#include "files/standard_fits.h"
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

// A whole file read: it replaces the image, the planes when it has them, the header texts
// and the processing history, and the display is rebuilt.
template <typename Contents>
void Commit(Corvex& corvex, const std::filesystem::path& path, Contents& contents, bool planes) {
  ProgramState& state = corvex.state;
  std::copy(contents.image.begin(), contents.image.end(), corvex.store.currentImage.begin());
  if (planes) {
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
}

// A standard FITS file, from another program or from "Save as standard FITS": `read` decodes
// it into the contents. A file that is not an image Corvex opens is refused with what it
// holds, and nothing changes.
template <typename Read>
int LoadStandardFits(Corvex& corvex, const std::filesystem::path& path, Read read) {
  StandardFitsContents contents{corvex.fits, corvex.history, {}, {}, {}, {}, {}, false, {}};
  ResetFitsHeaderTexts(contents.fields, contents.history);
  std::string problem;
  corvex.host.SetWaitCursor(true);
  const int result = read(corvex.state.settings.saturationFactor, contents, problem);
  corvex.host.SetWaitCursor(false);
  if (result == kStandardFitsNotFits) return Report(corvex, kMessageNotImageFile);
  if (result == kStandardFitsWrongShape) {
    ShowMessage(corvex.host, kFreeTextMessage, problem);
    return kFreeTextMessage;
  }
  if (result != kStandardFitsOk) {
    ShowMessage(corvex.host, kFreeTextMessage,
                "Unable to load FITS file " + path.string() + ": " + problem);
    return kFreeTextMessage;
  }
  const ProgramState& state = corvex.state;
  if (state.mergingMode && state.colourConverted && !contents.colour) {
    return Report(corvex, kMessageNotImageFile);
  }
  Commit(corvex, path, contents, contents.colour);
  return 0;
}

// The second image from a standard FITS file: its samples, or a colour image's luminance, as
// for a native colour file.
int LoadSecondStandard(Corvex& corvex, const std::filesystem::path& path, ImageBuffer& buffer) {
  StandardFitsContents contents;
  std::string problem;
  const int result =
      ReadStandardFits(path, corvex.state.settings.saturationFactor, contents, problem);
  if (result == kStandardFitsOk) {
    std::copy(contents.image.begin(), contents.image.end(), buffer.begin());
    return 0;
  }
  if (result == kStandardFitsNotFits) {
    Report(corvex, kMessageNotSecondImage);
  } else if (result == kStandardFitsWrongShape) {
    ShowMessage(corvex.host, kFreeTextMessage, problem);
  } else {
    ShowMessage(corvex.host, kFreeTextMessage,
                "Unable to load FITS file " + path.string() + ": " + problem);
  }
  return 1;
}

}  // namespace

int LoadImageBytes(Corvex& corvex, const std::filesystem::path& path,
                   std::span<const std::uint8_t> bytes) {
  ProgramState& state = corvex.state;
  const ImageFileFormat* format = FindImageFileFormat(bytes.size());
  if (format == nullptr && IsStandardFits(bytes)) {
    return LoadStandardFits(corvex, path, [bytes](int saturation, auto& contents, auto& problem) {
      return DecodeStandardFits(bytes, saturation, contents, problem);
    });
  }
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

  Commit(corvex, path, contents, format->colourPlanes);
  return 0;
}

int LoadImageFile(Corvex& corvex, const std::filesystem::path& path) {
  if (const int error = CheckReadableFile(path); error != 0) {
    ShowOpenFailure(corvex.host, path, error);
    return kFreeTextMessage;
  }
  const std::optional<std::uint64_t> length = RegularFileLength(path);
  const ImageFileFormat* format = length ? FindImageFileFormat(*length) : nullptr;
  // The native layouts are known by their lengths first, so nothing an earlier version wrote
  // reads differently; a standard FITS file is none of those lengths (it is whole blocks).
  if (format == nullptr && length && FileIsStandardFits(path)) {
    return LoadStandardFits(corvex, path, [&path](int saturation, auto& contents, auto& problem) {
      return ReadStandardFits(path, saturation, contents, problem);
    });
  }
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
  if (format == nullptr && length && FileIsStandardFits(path)) {
    return LoadSecondStandard(corvex, path, buffer);
  }
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

StandardFitsExtras StandardFitsExtrasFor(const Corvex& corvex) {
  const ProgramSettings& settings = corvex.state.settings;
  StandardFitsExtras extras;
  extras.phase = {settings.pixelOffset, settings.lineOffset};
  extras.saturation = settings.saturationFactor;
  extras.creator = std::string("Corvex ") + CORVEX_VERSION;
  SetHeaderDates(corvex.fits, extras);
  return extras;
}

int SaveStandardFitsImage(Corvex& corvex, const std::filesystem::path& path, ImageType type) {
  StandardFitsExtras extras = StandardFitsExtrasFor(corvex);
  extras.imageType = type;
  corvex.host.SetWaitCursor(true);
  const PlaneView planes = MainPlanes(corvex.store);
  int error = 0;
  const bool written = WriteStandardFits(path, corvex.store.currentImage.span().first(kImageValues),
                                         corvex.state.colourConverted ? &planes : nullptr,
                                         corvex.fits, corvex.history, extras, &error);
  corvex.host.SetWaitCursor(false);
  if (!written) ShowWriteFailure(corvex.host, 29, path, error);
  return written ? 0 : 1;
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
