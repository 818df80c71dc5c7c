// The main window's commands as data: the menu "Corvex" with its items, mnemonics,
// accelerator labels and separators, the tool bar in its order, the status-bar hints and the
// accelerator table. The frame builds its menus, tool bar and shortcuts from these tables.
#pragma once

#include <span>
#include <string_view>

namespace corvex::ui {

// Command numbers the window dispatches (the menu items and the internal commands).
namespace command {
inline constexpr int kNormalStretch = 1;
inline constexpr int kPowerStretch = 2;
inline constexpr int kMedianFilter = 3;
inline constexpr int kGaussianFilter = 4;
inline constexpr int kLowPassFilter = 5;
inline constexpr int kHistogram = 6;
inline constexpr int kBasRelief = 7;
inline constexpr int kLabelImage = 8;
inline constexpr int kUndoFilter = 9;
inline constexpr int kUndoColourFilter = 10;
inline constexpr int kCameraInterface = 12;
inline constexpr int kDelete = 13;
inline constexpr int kMirror = 14;
inline constexpr int kGradientFilter = 15;
inline constexpr int kPickGuideStar = 16;
inline constexpr int kSelectDarkFrame = 17;
inline constexpr int kAutoContrast = 18;
inline constexpr int kFocusFrameCentre = 19;
inline constexpr int kDefaultFocusFrameCentre = 20;
inline constexpr int kMaxPaletteStretch = 21;
inline constexpr int kSineStretch = 101;
inline constexpr int kLogStretch = 102;
inline constexpr int kRemoveBackground = 103;
inline constexpr int kAntiLogStretch = 104;
inline constexpr int kInvert = 105;
inline constexpr int kUnsharpMask = 106;
inline constexpr int kHighPassLowPower = 107;
inline constexpr int kHighPassHighPower = 108;
inline constexpr int kSmootherSharper = 109;
inline constexpr int kSubtract = 110;
inline constexpr int kMerge = 111;
inline constexpr int kHelp = 112;
inline constexpr int kAbout = 113;
inline constexpr int kAntiAlias = 114;
inline constexpr int kSynthesizeColour = 115;
inline constexpr int kColourBalance = 116;
inline constexpr int kFlatField = 117;
inline constexpr int kNonLinearStretch = 118;
inline constexpr int kChromatism = 119;
inline constexpr int kPrintSetup = 120;
inline constexpr int kPrint = 121;
inline constexpr int kProgramDefaults = 122;
inline constexpr int kFitsDetails = 123;
inline constexpr int kShowValues = 124;
inline constexpr int kStartAutoGuiding = 125;
inline constexpr int kTrainAutoGuiding = 126;
inline constexpr int kTelescopeControl = 127;
inline constexpr int kQuickSaveFits = 128;
inline constexpr int kLowPassColour = 129;
inline constexpr int kBalanceHistogram = 130;
inline constexpr int kFitToWindow = 301;
inline constexpr int kQzGeometry = 304;
inline constexpr int kAutoSaveText = 516;
inline constexpr int kProcessingHistory = 522;
inline constexpr int kApplyTable = 888;
inline constexpr int kApplyTableAndRefresh = 889;
inline constexpr int kTakeGuideExposure = 890;
inline constexpr int kRepaintAfterMerge = 891;
inline constexpr int kMoveProgress = 892;
inline constexpr int kStartGuiderGuiding = 893;
inline constexpr int kGuiderInterface = 894;
inline constexpr int kUseDisplayStretch = 1901;
inline constexpr int kDontUseDisplayStretch = 1902;
inline constexpr int kToggleDisplayStretch = 1906;
inline constexpr int kRebuildDisplay = 1907;
// The viewer's own commands.
inline constexpr int kScreenStretch = 1910;
inline constexpr int kZoomIn = 1911;
inline constexpr int kZoomOut = 1912;
inline constexpr int kActualSize = 1913;
inline constexpr int kExit = 24310;
inline constexpr int kClipboard = 24323;
inline constexpr int kOpen = 24332;
inline constexpr int kSave = 24333;
inline constexpr int kSaveTiff = 24334;
inline constexpr int kSaveFits = 24335;
inline constexpr int kSaveFlatField = 24336;
inline constexpr int kSaveStandardFits = 24337;
}  // namespace command

struct MenuItem {
  int command;
  const char* text;  // with its mnemonic; "\t" separates the accelerator label
  bool separatorAfter;
};

struct Menu {
  const char* title;
  std::span<const MenuItem> items;  // empty for the bar item "&Histogram"
  int barCommand;                   // the command of a bar item, else 0
};

std::span<const Menu> MainMenu();

// The tool bar, left to right; 0 is a separator. Commands 1901 and 1902 share one place
// (only the one that applies is shown); 127 is appended when a telescope method is chosen.
std::span<const int> ToolBarCommands();
// The short label a tool-bar button shows.
std::string_view ToolBarLabel(int command);

// The status-bar hint of a command, empty when it has none.
std::string_view StatusHint(int command);

// The accelerator table, in its order: the first entry that matches a key wins.
struct Accelerator {
  const char* key;  // in Qt's portable key-sequence text, e.g. "Ctrl+G"
  int command;
  bool character;  // matches the control character the key makes, after every key entry
};
std::span<const Accelerator> Accelerators();
// The command a key runs (0 for none): the first key entry that matches, else the first
// character entry.
int CommandForKey(std::string_view key);

}  // namespace corvex::ui
