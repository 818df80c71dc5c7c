#include "file_jobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "commands/display_commands.h"
#include "commands/file_commands.h"
#include "commands/quick_save.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "files/program_options_file.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "files/standard_fits.h"
#include "files/tiff_file.h"
#include "platform/atomic_file.h"
#include "platform/read_file.h"
#include "platform/terminal_host.h"
#include "processing/display_image.h"
#include "setting_meanings.h"

namespace corvex::cli {

namespace {

std::string Shown(const std::filesystem::path& path) {
  return TerminalText(path.string());
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Texts as they would show in the header, without the spaces that pad the note cards, and
// with anything that could steer the terminal escaped.
void PrintText(const char* label, const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  const std::string shown = end == std::string::npos ? "" : text.substr(0, end + 1);
  std::printf("  %-10s '%s'\n", label, TerminalText(shown).c_str());
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

void PrintRefusal(const std::filesystem::path& path, const std::string& problem) {
  if (path.empty()) {
    std::fprintf(stderr, "corvex-cli: %s\n", problem.c_str());
  } else {
    std::fprintf(stderr, "corvex-cli: %s: %s\n", Shown(path).c_str(), problem.c_str());
  }
}

}  // namespace

std::optional<ImageFormat> ImageFormatForName(const std::filesystem::path& path,
                                              std::string& error) {
  const std::string name = path.filename().string();
  if (path.empty()) {
    error = "no output file named";
    return std::nullopt;
  }
  if (name.empty() || name == "." || name == "..") {
    error = "not a file name";
    return std::nullopt;
  }
  // A name that is only an extension (".fit") is almost always one left empty by mistake.
  if (name.front() == '.' && name.find('.', 1) == std::string::npos) {
    error = "\"" + name + "\" has no name before its extension";
    return std::nullopt;
  }
  const std::string extension = LowerCase(path.extension().string());
  if (extension == ".fit" || extension == ".fits" || extension == ".fts") return ImageFormat::kFits;
  if (extension == ".tif" || extension == ".tiff") return ImageFormat::kTiff;
  if (name.front() == '~' || extension.empty() || extension == ".raw" || extension == ".def") {
    return ImageFormat::kNativeRaw;
  }
  error = "cannot write \"" + path.extension().string() +
          "\" files: use .fit, .fits or .fts for FITS, .tif or .tiff for TIFF, or a name "
          "starting with \"~\" (or without an extension) for the native raw format";
  return std::nullopt;
}

std::optional<std::string> OutputProblem(const std::filesystem::path& path) {
  if (path.empty()) return std::string("no output file named");
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) return std::string("is a directory");
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return std::string("is not a regular file");
  }
  const std::filesystem::path directory =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (!std::filesystem::is_directory(directory, ec)) {
    return "no directory " + Shown(directory) + " to write it in";
  }
  // The file is written beside its target and renamed over it: the directory must take new
  // files, and an existing file must be one the user may change.
  if (access(directory.c_str(), W_OK | X_OK) != 0) {
    return "cannot create files in " + Shown(directory) + " (" + std::strerror(errno) + ")";
  }
  if (std::filesystem::exists(status) && access(path.c_str(), W_OK) != 0) {
    return std::string("cannot be replaced (") + std::strerror(errno) + ")";
  }
  return std::nullopt;
}

bool CheckImageOutput(const std::filesystem::path& path, std::optional<ImageFormat>& format) {
  std::string error;
  format = ImageFormatForName(path, error);
  if (!format) {
    PrintRefusal(path, error);
    return false;
  }
  if (const auto problem = OutputProblem(path)) {
    PrintRefusal(path, *problem);
    return false;
  }
  return true;
}

bool CheckOutput(const std::filesystem::path& path, std::initializer_list<const char*> extensions,
                 const char* kind) {
  const std::string extension = LowerCase(path.extension().string());
  const bool named = std::any_of(extensions.begin(), extensions.end(),
                                 [&](const char* e) { return extension == e; });
  if (!named || path.stem().empty()) {
    std::string names;
    for (const char* e : extensions) names += (names.empty() ? "" : " or ") + std::string(e);
    PrintRefusal(path, std::string("a ") + kind + " file is named *" + names);
    return false;
  }
  if (const auto problem = OutputProblem(path)) {
    PrintRefusal(path, *problem);
    return false;
  }
  return true;
}

std::optional<std::string> CalibrationFileProblem(const std::filesystem::path& path,
                                                  CalibrationUse use) {
  const CalibrationFileFacts facts = InspectCalibrationFile(path, use);
  if (!facts.exists) return std::string("not found");
  if (!facts.regular) return std::string("is not a regular file");
  if (facts.openError != 0) {
    return std::string("is not readable (") + std::strerror(facts.openError) + ")";
  }
  if (facts.lengthFits) return std::nullopt;
  const std::string size = " (" + std::to_string(facts.length) + " bytes)";
  if (use == CalibrationUse::kRunDark) {
    return "is not a native raw file" + size + ": a dark frame is a 295800-byte native raw file";
  }
  // A file of none of the program's lengths may be a standard FITS image of another program.
  if (FindImageFileFormat(facts.length) == nullptr && FileStartsAsFits(path)) {
    StandardFitsContents contents;
    std::string problem;
    if (ReadStandardFits(path, 2, contents, problem) == kStandardFitsOk) return std::nullopt;
    return problem;
  }
  return "is not an image file of a length this program reads" + size;
}

void PrintHistory(const Corvex& corvex) {
  std::printf("Processing history:\n");
  bool any = false;
  for (std::size_t i = 0; i < corvex.history.entries.size(); ++i) {
    if (corvex.history.entries[i].empty()) continue;
    std::printf("  %2zu. %s\n", i + 1, TerminalText(corvex.history.entries[i]).c_str());
    any = true;
  }
  if (!any) std::printf("  (none)\n");
}

// What `info` says about a standard FITS file, read again for its shape.
struct StandardFileInfo {
  FitsImageShape shape;
  int columns = kStandardFitsWidth;
};
std::optional<StandardFileInfo> DescribeStandardFile(const Corvex& corvex,
                                                     const std::string& file) {
  StandardFitsContents contents;
  std::string problem;
  if (ReadStandardFits(file, corvex.state.settings.saturationFactor, contents, problem) !=
      kStandardFitsOk) {
    return std::nullopt;
  }
  return StandardFileInfo{contents.shape, static_cast<int>(contents.shape.axes[0])};
}

int RunInfo(Corvex& corvex, const std::string& file) {
  if (LoadImageFile(corvex, file) != 0) return 1;
  const std::uint64_t length = RegularFileLength(file).value_or(0);
  const ImageFileFormat* format = FindImageFileFormat(length);
  const std::optional<StandardFileInfo> standard =
      format == nullptr ? DescribeStandardFile(corvex, file) : std::nullopt;
  if (format == nullptr && !standard) {
    std::fprintf(stderr, "corvex-cli: %s changed while it was read\n", Shown(file).c_str());
    return 1;
  }
  const FitsHeaderFields& fits = corvex.fits;
  const int columns = standard ? standard->columns : format->fits ? kImageStride : kRawRowSamples;
  const int rows = standard ? kImageRows : format->rows;

  std::printf("File:       %s\n", Shown(file).c_str());
  if (standard) {
    std::printf("Kind:       standard FITS %s, %llu bytes\n",
                standard->shape.Colour() ? "colour image (RGB cube)" : "image",
                static_cast<unsigned long long>(length));
    std::printf("Geometry:   %s\n", standard->shape.Describe().substr(11).c_str());
    std::printf("Colour:     %s\n", standard->shape.Colour()
                                        ? "red, green and blue planes, read as luminance and "
                                          "colour planes"
                                        : "none");
  } else {
    std::printf("Kind:       %s, %llu bytes\n", std::string(format->description).c_str(),
                static_cast<unsigned long long>(format->length));
    std::printf("Geometry:   %d x %d samples of 16 bits\n", columns, format->rows);
    std::printf("Colour:     %s\n",
                format->colourPlanes ? "red, green and blue planes follow the samples" : "none");
  }
  if (format != nullptr && format->fits) {
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
  PrintSampleStatistics(corvex.store.currentImage, columns, rows);
  return 0;
}

bool LoadImage(Corvex& corvex, const std::string& in) {
  return LoadImageFile(corvex, in) == 0;
}

bool SaveImage(Corvex& corvex, const std::filesystem::path& out, ImageFormat format,
               FitsEncoding encoding) {
  const bool colour = corvex.state.colourConverted;
  const char* kind = "native raw";
  switch (format) {
    case ImageFormat::kFits:
      if (encoding != FitsEncoding::kAsRead) {
        corvex.fits.unsignedFormat = encoding == FitsEncoding::kUnsigned;
      }
      if (SaveFitsImage(corvex, out) != kFitsOk) return false;
      kind = "FITS";
      break;
    case ImageFormat::kTiff:
      if (SaveTiffImage(corvex, out) != 0) return false;
      kind = colour ? "colour TIFF, 510 x 372" : "grey TIFF, 510 x 372";
      break;
    case ImageFormat::kNativeRaw:
      if (WriteRawImage(corvex, out) != 0) return false;
      break;
  }
  std::printf("Wrote %s (%s%s)\n", Shown(out).c_str(), kind,
              colour && format != ImageFormat::kTiff ? ", with colour planes" : "");
  return true;
}

int RunConvert(Corvex& corvex, const std::string& in, const std::string& out, ImageFormat format,
               FitsEncoding encoding) {
  return LoadImage(corvex, in) && SaveImage(corvex, out, format, encoding) ? 0 : 1;
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
  if (!options.fits.empty()) {
    const ImageType type = ParseImageType(options.imageType).value_or(ImageType::kLight);
    if (SaveStandardFitsImage(corvex, options.fits, type) != 0) return 1;
    std::printf("Wrote %s (standard FITS, %s)\n", Shown(options.fits).c_str(),
                state.colourConverted ? "RGB cube of 510 x 290" : "510 x 290");
    return 0;
  }
  if (!options.tiff.empty()) return SaveImage(corvex, options.tiff, ImageFormat::kTiff) ? 0 : 1;
  RebuildDisplayImage(corvex);
  const std::span<const std::uint8_t> bytes = corvex.display.ShownBytes();
  if (!WriteFileAtomically(options.bmp, bytes)) {
    std::fprintf(stderr, "corvex-cli: cannot write %s\n", Shown(options.bmp).c_str());
    return 1;
  }
  std::printf("Wrote %s (display bitmap, %zu bytes)\n", Shown(options.bmp).c_str(), bytes.size());
  return 0;
}

int RunSettings(Corvex& corvex, bool writeDefaults) {
  const std::filesystem::path path = corvex.paths.SettingsFile();
  int status = 0;
  if (writeDefaults) {
    if (WriteSettingsFile(corvex, path) != kSettingsOk) {
      std::fprintf(stderr, "corvex-cli: could not write %s\n", Shown(path).c_str());
      return 1;
    }
    std::printf("Wrote the default settings to %s\n", Shown(path).c_str());
  } else if (std::filesystem::exists(std::filesystem::symlink_status(path))) {
    // Only shown: a damaged file is reported and left as it is on disk.
    std::printf("Settings from %s\n", Shown(path).c_str());
    const int read = ReadSettingsFile(corvex, path, SettingsRepair::kLeaveFile);
    if (read == kSettingsUnreadable) return 1;
    status = read == kSettingsOk ? 0 : 1;
  } else {
    std::printf("No settings file at %s; these are the defaults\n", Shown(path).c_str());
  }
  // Each value with what it means and its unit or letters.
  for (const auto& [name, value] : ListSettings(corvex.state.settings, corvex.fits)) {
    const std::string shown = TerminalText(value);
    std::string meaning(SettingMeaning(name));
    // The stored directory may be in the program's c:\ form: say where the files really go.
    if (name == "autosaveDirectory") {
      meaning += ", here " + Shown(AutosaveFilePath(corvex, 1).parent_path());
    }
    std::printf("  %-32s %-14s %s\n", name.c_str(), shown.c_str(), meaning.c_str());
  }

  // The second file, corvex.conf, only read here (unless the defaults are to be written).
  const std::filesystem::path options = ProgramOptionsPath(path);
  if (writeDefaults) {
    std::vector<std::string_view> keys;
    for (const OptionDefinition& definition : ProgramOptionTable()) keys.push_back(definition.key);
    if (!WriteProgramOptionsFile(corvex, keys)) return 1;
    std::printf("Wrote the default settings to %s\n", Shown(options).c_str());
  } else if (std::filesystem::exists(std::filesystem::symlink_status(options))) {
    std::printf("Settings from %s\n", Shown(options).c_str());
    if (!ReadProgramOptionsFile(corvex)) status = 1;
  } else {
    std::printf("No settings file at %s; these are the defaults\n", Shown(options).c_str());
  }
  for (const OptionDefinition& definition : ProgramOptionTable()) {
    std::printf("  %-32s %s\n", std::string(definition.key).c_str(),
                TerminalText(corvex.options.Text(definition.key)).c_str());
  }
  return status;
}

}  // namespace corvex::cli
