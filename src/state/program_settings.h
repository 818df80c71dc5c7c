// Every option that survives a restart, in the order the settings file stores them.
//
// The file reader and writer (files/settings_file) own the encodings; the subsystem named
// beside each field owns its meaning. Values start at the program's defaults.
//
// The file also carries the UT offset and seven FITS header texts; those are kept once, in
// FitsHeaderFields, because the FITS reader, the header dialog and every save share them.
#pragma once

#include <array>
#include <string>

namespace corvex {

struct ProgramSettings {
  int lastFileNumber = 0;  // last quick-saved file number
  // (utOffsetHours: FitsHeaderFields)
  bool lightPollutionCorrection = false;
  bool lineOffset = false;   // colour phase: "Line Offset"
  bool pixelOffset = true;   // colour phase: "Pixel Offset"
  bool fastParallel = false;  // carried, no other use
  int reservedChoiceA = 0;    // carried, no other use
  int starMaskRadius = 8;     // guide star mask radius: 7, 8, 9, 11, 13 or 15
  bool antiAlias = true;
  bool weakStretch = false;
  bool strongStretch = false;
  bool irFilterUsed = false;
  int saturationFactor = 2;
  int reservedChoiceB = 1;  // carried, no other use
  char backgroundColour = 'l';  // 'l' light grey, 'g' grey, 'r' red
  bool focusOneSecondDelay = true;  // wait one second after every focus frame
  bool userStretch = false;
  int userStretchValue = 4;
  bool highPassLowPower = false;
  bool unsharpMask = false;
  int unsharpDiameter = 3;
  int unsharpPower = 1;
  bool removeBackground = false;
  bool disableInterruptsDuringDownload = true;
  bool reservedFlagA = false;  // carried, no other use
  // (object, telescope, instrument, observer, origin, historyNote, commentText:
  // FitsHeaderFields)
  bool alternativeColourCoefficients = true;  // stored; only one set of coefficients exists
  char comPortChar = '1';
  int selfGuideTrainingSeconds = 1;
  int selfGuideRaRate = 6;
  int selfGuideDecRate = 6;
  int selfGuideRaBacklash = 0;
  int selfGuideDecBacklash = 0;
  bool ignoreSmallDrift = false;
  char telescopeMethod = 'n';  // 'n' none, 'l' LX200, 'b' via control box
  int selfGuideRaHysteresis = 0;
  int selfGuideDecHysteresis = 0;
  // Letters sent for east, west, north and south corrections ("ewns" unless swapped).
  std::array<char, 4> directionTable{'e', 'w', 'n', 's'};
  bool beepWhenDone = false;  // three beeps when a frame has been read
  bool directionChangeDelay = true;
  std::string autosaveDirectory = "c:\\AUTOSAVE";  // at most 99 characters in the file
  bool portChosen = true;
  bool verboseCameraMessages = false;  // "Show USB Debug Info"
  bool reservedFlagB = true;  // carried, no other use
  int filterCount = 7;
  std::array<std::string, 8> filterNames{"Blank",    "Filter 2", "Filter 3", "Filter 4",
                                         "Filter 5", "Filter 6", "Filter 7", "Filter 8"};
  bool filterWheelAvailable = false;
  int guiderRaRate = 6;
  int guiderDecRate = 6;
  int guiderRaBacklash = 0;
  int guiderDecBacklash = 0;
  int guiderRaHysteresis = 0;
  int guiderDecHysteresis = 0;
  bool ignoreBacklash = true;
  double defaultRaAngle = 0.0;
  bool ignoreRaAngle = true;
  bool acceptAnyProductId = false;  // "Ignore Camera VID/PID": open any product id
};

}  // namespace corvex
