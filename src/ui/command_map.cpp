#include "ui/command_map.h"

#include <array>

namespace corvex::ui {

namespace {

using namespace command;

constexpr MenuItem kFile[] = {
    {kOpen, "&Open...\tCTL+O", false},
    {kSave, "&Save...\tCTL+S", false},
    {kSaveTiff, "Save as &Tiff File...", false},
    {kSaveFits, "S&ave as FITS\tCTL+F", false},
    {kSaveStandardFits, "Save as sta&ndard FITS...", false},
    {kSaveFlatField, "Sa&ve as Flatfield", false},
    {kQuickSaveFits, "&Quick Save as FITs\tCTL+Q", true},
    {kDelete, "&Delete", false},
    {kAutoSaveText, "&Load/Edit AutoSave FITS text", false},
    {kSelectDarkFrame, "Select Dark &Frame", true},
    {kProgramDefaults, "Set Program Defa&ults", false},
    {kCameraInterface, "Qz Camera &Interface\tCTL+Z", false},
    {kGuiderInterface, "Guider Camera &Interface\tCTL+G", false},
    {kPickGuideStar, "Pic&k Guide Star\tCTL+P", false},
    {kFocusFrameCentre, "Focus Frame Centre\tCTL+W", false},
    {kDefaultFocusFrameCentre, "Default Focus Frame Centre", true},
    {kStartAutoGuiding, "Start Auto-Guiding", false},
    {kTrainAutoGuiding, "Train Auto-Guiding", false},
    {kTelescopeControl, "Telescope Control", true},
    {kPrintSetup, "P&rint Setup", false},
    {kPrint, "&Print", true},
    {kExit, "E&xit", false},
};
constexpr MenuItem kEdit[] = {
    {kUndoFilter, "&Undo Last Filter\tCTL+U", false},
    {kUndoColourFilter, "Undo &Last Colour Filter\tCTL+R", true},
    {kLabelImage, "&Label Image", false},
    {kClipboard, "&Copy to Clipboard", false},
};
constexpr MenuItem kView[] = {
    {kFitToWindow, "&Fit to window", false},
    {kQzGeometry, "Change to QZ &Geometry\tCTL+G", true},
    {kMirror, "&Mirror image", false},
    {kAutoContrast, "&Auto contrast stretch image", false},
    {kMaxPaletteStretch, "Max Palette Stretch", true},
    {kProcessingHistory, "Processing &History", false},
    {kFitsDetails, "&Show/Edit Current Image FITS details", false},
    {kShowValues, "Show &Values", true},
    {kScreenStretch, "Screen St&retch", false},
    {kZoomIn, "Zoom &In\t+", false},
    {kZoomOut, "Zoom &Out\t-", false},
    {kActualSize, "Actual Si&ze (1:1)", false},
};
constexpr MenuItem kColour[] = {
    {kSynthesizeColour, "&Synthesize Colour Image\tCTL+C", false},
    {kColourBalance, "Set Colour &Balance\tCTL+B", false},
    {kAntiAlias, "&Apply Anti-Alias Filter", false},
    {kChromatism, "Adjust Chroma&tism", false},
    {kLowPassColour, "Low &Pass Color Filter\tCTL+L", false},
    {kBalanceHistogram, "Balance Colour &Histogram", false},
};
constexpr MenuItem kContrast[] = {
    {kNormalStretch, "&Normal Stretch\tCTL+N", false},
    {kPowerStretch, "&Power Law Stretch", false},
    {kSineStretch, "&Sine Law Stretch", false},
    {kRemoveBackground, "&Remove Background", false},
    {kNonLinearStretch, "N&on-Linear Stretch", false},
    {kLogStretch, "&Logarithmic Stretch", false},
    {kAntiLogStretch, "&Antilogarithmic Stretch", false},
    {kInvert, "&Invert image to Negative", false},
};
constexpr MenuItem kFilters[] = {
    {kUnsharpMask, "&Unsharp masking HPF", false},
    {kHighPassLowPower, "&High Pass, Low Power", false},
    {kHighPassHighPower, "High Pass, High &Power", false},
    {kSmootherSharper, "&Smoother/Sharper Filter", true},
    {kMedianFilter, "&Median Filter - Noise Reduction", false},
    {kGaussianFilter, "&Gaussian Smoother Filter", false},
    {kLowPassFilter, "Low Pass &Weighted Mean &Smoother", true},
    {kBasRelief, "&Bas Relief Generator", false},
    {kGradientFilter, "Gradient &Filter", false},
};
constexpr MenuItem kMerge[] = {
    {kSubtract, "&Subtract Images (Dark Frame)", false},
    {kFlatField, "&Apply Flat Field", true},
    {command::kMerge, "&Merge two images together", false},
};
constexpr MenuItem kHelpItems[] = {
    {kHelp, "Help in using Corvex", false},
    {kAbout, "About Corvex", false},
};

const std::array<Menu, 9> kMenus{{
    {"&File", kFile, 0},
    {"&Edit", kEdit, 0},
    {"&View", kView, 0},
    {"&Colour", kColour, 0},
    {"C&ontrast", kContrast, 0},
    {"Filter&s ", kFilters, 0},
    {"&Merge", kMerge, 0},
    {"&Histogram", {}, kHistogram},
    {"Help", kHelpItems, 0},
}};

constexpr int kToolBar[] = {
    kSave, kSaveFits, kOpen, 0,
    kCameraInterface, kGuiderInterface, 0,
    kUseDisplayStretch, kMaxPaletteStretch, 0,
    kProgramDefaults, 0,
    kShowValues, kSynthesizeColour, kColourBalance, kAntiAlias, kLowPassColour, 0,
    kNormalStretch, kNonLinearStretch, kPowerStretch, kRemoveBackground, kUnsharpMask,
    kMedianFilter, 0,
    kSubtract, kFlatField, command::kMerge,
};

struct Text {
  int command;
  const char* text;
};

constexpr Text kToolBarLabels[] = {
    {kSave, "Save"},          {kSaveFits, "FITS"},        {kOpen, "Open"},
    {kCameraInterface, "Cam"}, {kGuiderInterface, "Guide"}, {kUseDisplayStretch, "Str"},
    {kDontUseDisplayStretch, "NoStr"}, {kMaxPaletteStretch, "Pal"}, {kProgramDefaults, "Def"},
    {kShowValues, "Val"},     {kSynthesizeColour, "RGB"}, {kColourBalance, "Bal"},
    {kAntiAlias, "AA"},       {kLowPassColour, "LPC"},    {kNormalStretch, "Nrm"},
    {kNonLinearStretch, "NL"}, {kPowerStretch, "Pow"},    {kRemoveBackground, "Bkg"},
    {kUnsharpMask, "USM"},    {kMedianFilter, "Med"},     {kSubtract, "Dark"},
    {kFlatField, "Flat"},     {command::kMerge, "Merge"}, {kTelescopeControl, "Scope"},
};

constexpr Text kHints[] = {
    {1, "Adjust the Contrast manually. setting max and min values"},
    {2, "Power Law contrast stretch"},
    {3, "Median Filter - use to reduce electronic noise in image"},
    {12, "Guider Camera Control"},
    {17, "Select a file to be used as a dark frame for automatic processing"},
    {21, "Apply non-linear stretch to display only, data is not changed"},
    {103, "Automatically make background black"},
    {106, "Apply an unsharp mask - good for enhancing planetary detail"},
    {110, "Subtract a dark frame from currently displayed image"},
    {111, "Merge current image with one already saved"},
    {114, "Remove colour fringes by applying Anti Alias Filter"},
    {116, "Set colours relative to each other by setting Colour Balance"},
    {117, "Apply a flatfield to the currently displayed image"},
    {118, "Apply a non-linear stretch - good for nebulae"},
    {119, "Adjust colour planes relative to each other"},
    {122, "View and change most program variables"},
    {124, "Show Values of each Pixel, and display colour planes"},
    {127, "Control a LX200 telescope or Autoguider port"},
    {129, "Smooth colour irregularities with a low pass filter"},
    {304, "Toggle between raw format and geometry corrected display"},
    {894, "AutoGuider Camera Control"},
    {1000, "Main QZL Camera Control"},
    {1001, "AutoGuider Camera Control"},
    {1901, "Use Display Stretch"},
    {1902, "Dont use Display Stretch"},
    {1910, "Show new frames through an automatic stretch; the image data is not changed"},
    {1911, "Zoom in (also the mouse wheel, about the pointer)"},
    {1912, "Zoom out (also the mouse wheel, about the pointer)"},
    {1913, "Show the image pixel for pixel"},
    {24332, "Get an image from Disk"},
    {24333, "Save Image in Raw data format"},
    {24335, "Save Image as a FITs file"},
    {24337, "Save Image as standard FITS for other astronomy programs"},
};

// In its order. Ctrl+W is listed twice: as the control character (11, no handler) and as a
// key (19); keys are matched when pressed, before the character they make, so Ctrl+W runs 19.
constexpr Accelerator kAccelerators[] = {
    {"Ctrl+G", 894, false}, {"Alt+X", 24310, false}, {"Ctrl+H", 6, false},
    {"Ctrl+R", 10, false},  {"Ctrl+W", 11, true},    {"Ctrl+Q", 128, false},
    {"Ctrl+W", 19, false},  {"Ctrl+C", 115, false},  {"Ctrl+U", 9, false},
    {"Ctrl+P", 16, false},  {"Ctrl+L", 129, false},  {"Ctrl+F", 24335, false},
    {"Ctrl+G", 304, false}, {"Ctrl+N", 1, false},    {"Ctrl+S", 24333, false},
    {"Ctrl+B", 116, false}, {"Ctrl+O", 24332, false}, {"Ctrl+Z", 12, false},
};

std::string_view Find(std::span<const Text> table, int command) {
  for (const Text& entry : table) {
    if (entry.command == command) return entry.text;
  }
  return {};
}

}  // namespace

std::span<const Menu> MainMenu() { return kMenus; }
std::span<const int> ToolBarCommands() { return kToolBar; }
std::string_view ToolBarLabel(int command) { return Find(kToolBarLabels, command); }
std::string_view StatusHint(int command) { return Find(kHints, command); }
std::span<const Accelerator> Accelerators() { return kAccelerators; }

int CommandForKey(std::string_view key) {
  for (bool character : {false, true}) {
    for (const Accelerator& entry : kAccelerators) {
      if (entry.character == character && key == entry.key) return entry.command;
    }
  }
  return 0;
}

}  // namespace corvex::ui
