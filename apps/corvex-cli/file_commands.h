// The file jobs of the command-line tool: info, convert and settings.
#pragma once

#include <optional>
#include <string>

namespace corvex {
struct Corvex;
}

namespace corvex::cli {

enum class FitsEncoding { kAsRead, kUnsigned, kSigned };

// Loads IN as the Open command does; false (after its message) when it was refused.
bool LoadImage(Corvex& corvex, const std::string& in);
// Writes OUT as FITS (.fit/.fits) or native raw, with the colour planes when present.
bool SaveImage(Corvex& corvex, const std::string& out, FitsEncoding encoding);

// "Processing history:" and the entries that are set, numbered by their slot.
void PrintHistory(const Corvex& corvex);

int RunInfo(Corvex& corvex, const std::string& file);
int RunConvert(Corvex& corvex, const std::string& in, const std::string& out,
               FitsEncoding encoding);
struct ExportOptions {
  std::string tiff;  // write the TIFF export here, or
  std::string bmp;   // the display bitmap as the main window would show it
  bool qz = false;
  bool autoContrast = false;
  std::optional<double> displayStretch;
  std::optional<int> saturation;
};
int RunExport(Corvex& corvex, const std::string& in, const ExportOptions& options);

int RunSettings(Corvex& corvex, bool writeDefaults);

}  // namespace corvex::cli
