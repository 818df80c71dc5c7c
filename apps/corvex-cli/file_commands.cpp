#include "file_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "corvex.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "files/tiff_file.h"
#include "platform/atomic_file.h"
#include "platform/read_file.h"
#include "processing/display_image.h"

namespace corvex::cli {

namespace {

// Texts as they would show in the header, without the spaces that pad the note cards.
void PrintText(const char* label, const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  const std::string shown = end == std::string::npos ? "" : text.substr(0, end + 1);
  std::printf("  %-10s '%s'\n", label, shown.c_str());
}

void PrintNumber(const char* label, double value) {
  std::printf("  %-10s %.10g\n", label, value);
}

// Min, max and mean over the columns and rows the file actually holds.
void PrintSampleStatistics(const ImageBuffer& image, int columns, int rows) {
  unsigned low = 65535;
  unsigned high = 0;
  double sum = 0;
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < columns; ++col) {
      const unsigned v = image[row * kImageStride + col];
      low = std::min(low, v);
      high = std::max(high, v);
      sum += v;
    }
  }
  std::printf("Samples:    min %u, max %u, mean %.2f (over %d x %d)\n", low, high,
              sum / (static_cast<double>(columns) * rows), columns, rows);
}

}  // namespace

void PrintHistory(const Corvex& corvex) {
  std::printf("Processing history:\n");
  bool any = false;
  for (std::size_t i = 0; i < corvex.history.entries.size(); ++i) {
    if (corvex.history.entries[i].empty()) continue;
    std::printf("  %2zu. %s\n", i + 1, corvex.history.entries[i].c_str());
    any = true;
  }
  if (!any) std::printf("  (none)\n");
}

int RunInfo(Corvex& corvex, const std::string& file) {
  if (LoadImageFile(corvex, file) != 0) return 1;
  const ImageFileFormat* format = FindImageFileFormat(*RegularFileLength(file));
  const FitsHeaderFields& fits = corvex.fits;
  const int columns = format->fits ? kImageStride : kRawRowSamples;

  std::printf("File:       %s\n", file.c_str());
  std::printf("Kind:       %s, %llu bytes\n", std::string(format->description).c_str(),
              static_cast<unsigned long long>(format->length));
  std::printf("Geometry:   %d x %d samples of 16 bits\n", columns, format->rows);
  std::printf("Colour:     %s\n",
              format->colourPlanes ? "red, green and blue planes follow the samples" : "none");
  if (format->fits) {
    std::printf("Encoding:   %s\n", fits.unsignedFormat ? "unsigned (BZERO 0, SATURATE 65535)"
                                                        : "signed (BZERO 32768, SATURATE 32768)");
  }
  std::printf("Header:\n");
  PrintText("OBJECT", fits.object);
  PrintText("TELESCOP", fits.telescope);
  PrintText("INSTRUME", fits.instrument);
  PrintText("OBSERVER", fits.observer);
  PrintText("ORIGIN", fits.origin);
  PrintText("DATE-OBS", fits.observationDate);
  PrintText("TIME-OBS", fits.observationTime);
  PrintText("FILTER", fits.filterName);
  PrintNumber("EXPTIME", fits.exposureSeconds);
  PrintNumber("PIXWIDTH", fits.pixelWidth);
  PrintNumber("PIXHEIGH", fits.pixelHeight);
  PrintNumber("FOCALLEN", fits.focalLength);
  PrintNumber("APERTURE", fits.aperture);
  PrintText("HISTORY", fits.historyNote);
  PrintText("COMMENT", fits.commentText);
  PrintHistory(corvex);
  PrintSampleStatistics(corvex.store.currentImage, columns, format->rows);
  return 0;
}

bool LoadImage(Corvex& corvex, const std::string& in) {
  return LoadImageFile(corvex, in) == 0;
}

bool SaveImage(Corvex& corvex, const std::string& out, FitsEncoding encoding) {
  const bool fits = IsFitsFileName(out);
  if (fits) {
    if (encoding != FitsEncoding::kAsRead) {
      corvex.fits.unsignedFormat = encoding == FitsEncoding::kUnsigned;
    }
    if (SaveFitsImage(corvex, out) != kFitsOk) return false;
  } else if (WriteRawImage(corvex, out) != 0) {
    return false;
  }
  std::printf("Wrote %s (%s%s)\n", out.c_str(), fits ? "FITS" : "native raw",
              corvex.state.colourConverted ? ", with colour planes" : "");
  return true;
}

int RunConvert(Corvex& corvex, const std::string& in, const std::string& out,
               FitsEncoding encoding) {
  return LoadImage(corvex, in) && SaveImage(corvex, out, encoding) ? 0 : 1;
}

int RunExport(Corvex& corvex, const std::string& in, const ExportOptions& options) {
  if (!LoadImage(corvex, in)) return 1;
  ProgramState& state = corvex.state;
  state.qzGeometry = options.qz;
  state.autoContrast = options.autoContrast;
  if (options.displayStretch) {
    state.displayStretchActive = true;
    state.displayStretchPower = *options.displayStretch;
  }
  if (options.saturation) state.settings.saturationFactor = *options.saturation;
  if (!options.tiff.empty()) {
    if (SaveTiffImage(corvex, options.tiff) != 0) return 1;
    std::printf("Wrote %s (%s TIFF, 510 x 372)\n", options.tiff.c_str(),
                state.colourConverted ? "colour" : "grey");
    return 0;
  }
  if (RebuildDisplayImage(corvex) != 0) return 1;
  const auto bytes = ReadFileBytes(corvex.display.shownFile, 1 << 20);
  if (!bytes || !WriteFileAtomically(options.bmp, *bytes)) {
    std::fprintf(stderr, "corvex-cli: cannot write %s\n", options.bmp.c_str());
    return 1;
  }
  std::printf("Wrote %s (display bitmap, %zu bytes)\n", options.bmp.c_str(), bytes->size());
  return 0;
}

int RunSettings(Corvex& corvex, bool writeDefaults) {
  const std::filesystem::path path = corvex.paths.SettingsFile();
  int status = 0;
  if (writeDefaults) {
    if (WriteSettingsFile(corvex, path) != kSettingsOk) {
      std::fprintf(stderr, "Could not write %s\n", path.c_str());
      return 1;
    }
    std::printf("Wrote the default settings to %s\n", path.c_str());
  } else if (std::filesystem::exists(std::filesystem::symlink_status(path))) {
    // Only shown: a damaged file is reported and left as it is on disk.
    std::printf("Settings from %s\n", path.c_str());
    const int read = ReadSettingsFile(corvex, path, SettingsRepair::kLeaveFile);
    if (read == kSettingsUnreadable) return 1;
    status = read == kSettingsOk ? 0 : 1;
  } else {
    std::printf("No settings file at %s; these are the defaults\n", path.c_str());
  }
  for (const auto& [name, value] : ListSettings(corvex.state.settings, corvex.fits)) {
    std::printf("  %-32s %s\n", name.c_str(), value.c_str());
  }
  return status;
}

}  // namespace corvex::cli
