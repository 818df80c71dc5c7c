#include "setting_meanings.h"

#include <utility>

namespace corvex::cli {

namespace {

constexpr std::pair<std::string_view, std::string_view> kMeanings[] = {
    {"lastFileNumber", "number of the last quick-saved IMG<n>.FIT"},
    {"utOffsetHours", "hours from local time to UT (kept for old files; the clock runs on UT)"},
    {"lightPollutionCorrection", "colour synthesis: light pollution correction (y/n)"},
    {"lineOffset", "colour synthesis: line offset of the colour matrix (y/n)"},
    {"pixelOffset", "colour synthesis: pixel offset of the colour matrix (y/n)"},
    {"fastParallel", "kept for the file, no use (y/n)"},
    {"reservedChoiceA", "kept for the file, no use"},
    {"starMaskRadius", "guide star mask radius, pixels (7, 8, 9, 11, 13 or 15)"},
    {"antiAlias", "colour synthesis: anti-alias (y/n)"},
    {"weakStretch", "colour synthesis: weak stretch (y/n)"},
    {"strongStretch", "colour synthesis: strong stretch (y/n)"},
    {"irFilterUsed", "an infrared-blocking filter is used (y/n)"},
    {"saturationFactor", "colour saturation, 1-9"},
    {"reservedChoiceB", "kept for the file, no use"},
    {"backgroundColour", "window background: l light grey, g grey, r red"},
    {"focusOneSecondDelay", "focus mode waits one second after each frame (1/0)"},
    {"userStretch", "colour synthesis: user stretch (y/n)"},
    {"userStretchValue", "colour synthesis: user stretch power, 1-36"},
    {"highPassLowPower", "colour synthesis: high pass, low power (y/n)"},
    {"unsharpMask", "colour synthesis: unsharp mask (y/n)"},
    {"unsharpDiameter", "colour synthesis: unsharp mask diameter, 1-6"},
    {"unsharpPower", "colour synthesis: unsharp mask power, 1-6"},
    {"removeBackground", "colour synthesis: remove background (y/n)"},
    {"disableInterruptsDuringDownload", "disable interrupts during download (y/n)"},
    {"reservedFlagA", "kept for the file, no use (y/n)"},
    {"object", "FITS OBJECT of saved images"},
    {"telescope", "FITS TELESCOP"},
    {"instrument", "FITS INSTRUME"},
    {"observer", "FITS OBSERVER"},
    {"origin", "FITS ORIGIN"},
    {"historyNote", "FITS HISTORY note"},
    {"commentText", "FITS COMMENT text"},
    {"alternativeColourCoefficients", "kept for the file (y/n)"},
    {"comPortChar", "serial port of the telescope link"},
    {"selfGuideTrainingSeconds", "self-guiding training move time, seconds"},
    {"selfGuideRaRate", "self-guiding RA rate, pixels per second"},
    {"selfGuideDecRate", "self-guiding Dec rate, pixels per second"},
    {"selfGuideRaBacklash", "self-guiding RA backlash, 0-20"},
    {"selfGuideDecBacklash", "self-guiding Dec backlash"},
    {"ignoreSmallDrift", "ignore small drift (1/0)"},
    {"telescopeMethod", "telescope: n none, l LX200 commands, b relays of the control box"},
    {"selfGuideRaHysteresis", "self-guiding RA hysteresis, 0-10 in the dialog"},
    {"selfGuideDecHysteresis", "self-guiding Dec hysteresis, 0-20"},
    {"directionTable", "letters sent for east, west, north and south moves"},
    {"beepWhenDone", "three beeps when a frame has been read (y/n)"},
    {"directionChangeDelay", "delay on direction changes (y/n)"},
    {"autosaveDirectory", "where quick saves go (c:\\ names map into CORVEX_HOME)"},
    {"portChosen", "a serial port was chosen (y/n)"},
    {"verboseCameraMessages", "show USB debug messages (y/n)"},
    {"reservedFlagB", "kept for the file, no use (1/0)"},
    {"filterCount", "filters in the wheel, 1-8"},
    {"filterNames[1]", "name of filter 1 (at most 9 characters)"},
    {"filterNames[2]", "name of filter 2"},
    {"filterNames[3]", "name of filter 3"},
    {"filterNames[4]", "name of filter 4"},
    {"filterNames[5]", "name of filter 5"},
    {"filterNames[6]", "name of filter 6"},
    {"filterNames[7]", "name of filter 7"},
    {"filterNames[8]", "name of filter 8"},
    {"filterWheelAvailable", "a filter wheel is fitted (y/n)"},
    {"guiderRaRate", "guider camera RA rate, pixels per second (below 50)"},
    {"guiderDecRate", "guider camera Dec rate, pixels per second (below 50)"},
    {"guiderRaBacklash", "guider camera RA backlash, 0-30"},
    {"guiderDecBacklash", "guider camera Dec backlash (below 50)"},
    {"guiderRaHysteresis", "guider camera RA hysteresis, 0-20"},
    {"guiderDecHysteresis", "guider camera Dec hysteresis, 0-20"},
    {"ignoreBacklash", "guiding ignores backlash (y/n)"},
    {"defaultRaAngle", "guider camera's RA angle as \"Save Latest\" kept it, radians"},
    {"ignoreRaAngle", "guiding ignores the RA angle (y/n)"},
    {"acceptAnyProductId", "open a camera whatever its product id (y/n)"},
};

}  // namespace

std::string_view SettingMeaning(std::string_view name) {
  for (const auto& [known, meaning] : kMeanings) {
    if (known == name) return meaning;
  }
  return {};
}

}  // namespace corvex::cli
