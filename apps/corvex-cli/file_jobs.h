// The file jobs of the command-line tool: info, convert, export and settings, and the choice
// and checks of an output file that every command writing an image shares.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "files/image_loader.h"

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

enum class FitsEncoding { kAsRead, kUnsigned, kSigned };
enum class ImageFormat { kFits, kNativeRaw, kTiff };

// The writer an output name chooses: FITS for .fit, .fits and .fts, TIFF for .tif and .tiff
// (either case), native raw for the program's own names (starting with "~", or with no
// extension, or .raw or .def). nullopt with `error` for anything else, for which no writer
// exists here.
std::optional<ImageFormat> ImageFormatForName(const std::filesystem::path& path,
                                              std::string& error);
// Whether `path` can be written before any work is done: it names a file (not a directory,
// not a device or FIFO), its directory exists and may be written, and an existing file may
// be replaced. What is wrong otherwise.
std::optional<std::string> OutputProblem(const std::filesystem::path& path);
// Both checks for an image output; false after printing what is wrong.
bool CheckImageOutput(const std::filesystem::path& path, std::optional<ImageFormat>& format);
// An output that must carry one of `extensions` (".pgm", ".bmp", ...); false after printing
// what is wrong.
bool CheckOutput(const std::filesystem::path& path, std::initializer_list<const char*> extensions,
                 const char* kind);

// Why the file cannot be used (not found, not a regular file, not readable, not a file of a
// length the loader takes), checked before any work; nullopt when it can.
std::optional<std::string> CalibrationFileProblem(const std::filesystem::path& path,
                                                  CalibrationUse use);

// Loads IN as the Open command does; false (after its message) when it was refused.
bool LoadImage(Corvex& corvex, const std::string& in);
// Writes OUT in `format`, with the colour planes when present (FITS and native raw).
bool SaveImage(Corvex& corvex, const std::filesystem::path& out, ImageFormat format,
               FitsEncoding encoding = FitsEncoding::kAsRead);

// "Processing history:" and the entries that are set, numbered by their slot.
void PrintHistory(const Corvex& corvex);

int RunInfo(Corvex& corvex, const std::string& file);
int RunConvert(Corvex& corvex, const std::string& in, const std::string& out, ImageFormat format,
               FitsEncoding encoding);
struct ExportOptions {
  std::string fits;                 // write standard FITS here, or
  std::string imageType = "light";  // its IMAGETYP
  std::string tiff;                 // the TIFF export, or
  std::string bmp;   // the display bitmap as the main window would show it
  bool qz = false;
  bool autoContrast = false;
  std::optional<double> displayStretch;
  std::optional<int> saturation;
};
int RunExport(Corvex& corvex, const std::string& in, const ExportOptions& options);

int RunSettings(Corvex& corvex, bool writeDefaults);

}  // namespace corvex::cli
