// The one program-wide record of run-time state; `settings` holds the persisted part.
//
// Fields start at their defaults every run; the settings file then overwrites `settings`.
// Later subsystems add their fields here, grouped by owner.
#pragma once

#include <cstdint>
#include <string>

#include "state/program_settings.h"

namespace corvex {

struct ProgramState {
  ProgramSettings settings;

  // --- The current image ---
  bool colourConverted = false;  // currentImage holds luminance, the planes hold colour
  bool qzGeometry = false;       // display in the aspect-corrected QZ geometry
  bool fitToWindow = false;      // display stretched to the window
  bool mergingMode = false;      // a merge is being set up; loads keep the colour flag
  std::string currentImageFile;  // the file the current image was last loaded from
  // --- Colour adjustments: reset to 0 by every colour synthesis ---
  int balanceRed = 0;  // "Colour Starting Balance": the offsets subtracted are twice these
  int balanceGreen = 0;
  int balanceBlue = 0;
  int redShiftHorizontal = 0;  // "CHROMATIC ADJUSTMENT", pixels -3..3
  int redShiftVertical = 0;
  int blueShiftHorizontal = 0;
  int blueShiftVertical = 0;
  bool autoSynthesis = false;  // synthesis started by the capture run: no dialog
  int backgroundLevel = 0;  // high byte of the sky, as the main window measured it last repaint

  // --- Capture settings (the camera control panel) ---
  int exposureValue = 1;
  char exposureUnit = 's';  // 'q' 1/1000 s, 'h' 1/100 s, 't' 1/10 s, 's' seconds, 'm' minutes
  int exposureMs = 0;       // recomputed from the two above before every exposure
  int exposureCount = 1;    // exposures still to take in this run
  bool continuousMode = false;
  int pauseMinutes = 0;
  bool startDelay = false;  // count down 10 seconds before the first exposure
  int runExposureCount = 1;  // exposureCount when the run started: the averaging divisor
  bool averageExposures = false;
  bool alternativeSlewMethod = false;
  bool autoExposureMode = false;
  bool autoDarkSubtract = false;
  std::string darkFrameFile;  // at most 60 characters; "c:\dark.def" when empty at run start
  std::string flatFieldFile;  // at most 60 characters; "c:\flat.def" when empty at run start
  bool autoColour = false;
  bool autoSave = false;
  std::int16_t focusLeft = 184;  // top-left corner of the 128 x 128 focus window
  std::int16_t focusTop = 65;
  std::int64_t exposureStartTime = 0;  // calendar seconds (UT) the last exposure started
  std::int64_t exposureEndTime = 0;    // ... and ended
  bool pauseBetweenExposures = false;
  bool selfGuideNext = false;
  bool guideWithGuiderCamera = false;
  bool matchingDarkframe = false;
  int guidingFrames = 0;
  int guideExposureValue = 0;
  char guideExposureUnit = 's';  // 'q', 'h', 't' or 's'
  int guideExposureMs = 0;
  int guideWindowGain = 14;  // 12 = x16, 13 = x8, 14 = x4, 15 = x2, 16 = none
  std::int16_t guiderExposureValue = 1;
  char guiderExposureUnit = 's';  // 'h', 't', anything else seconds
  int guiderGain = 8;             // 5 = x8, 6 = x4, 7 = x2, 8 = none
  bool guiderDarkSubtract = false;
  bool guiderDarkInProgress = false;
  bool guiderHotPixelFilter = true;
  std::int16_t guiderExposureMax = 10;  // the guider panel's limit for the value's unit
  bool guiderPauseOneSecond = false;    // "1 Sec Pause" between repeated guider frames
  bool guiderDarkAvailable = false;     // a guider dark frame has been taken
  std::string guiderDarkDescription;    // its exposure, e.g. " 1 second "
  bool displayStretchActive = false;
  double displayStretchPower = 25;  // "Stretch Display" power of full mono images
  bool autoContrast = false;        // "Auto contrast stretch image"
  bool focusFrameShown = false;     // a 128 x 128 focus frame is on display
  bool falseColourPreview = false;  // the raw readout preview in false colour  // "Stretch Display" active: guide windows keep their gain off
  int filterPosition = 1;  // the filter wheel position the camera panel last chose
  int filterWheelPort = 2;  // camera serial port of the filter wheel: the one the telescope does not use

  // --- Camera and run state ---
  bool cameraFound = false;
  std::uint8_t fieldSelect = 3;  // 3 whole frame; 1 and 2 the halves of an interlaced exposure
  int readoutTimeMs = 10000;
  bool abortRequested = false;
  bool focusRunning = false;
  bool focusStop = false;
  int focusPeak = 0;
  bool guidingRanThisExposure = false;

  // --- Guide star (the star centroid and the guide window) ---
  int starX = 0;  // main-camera star position, whole pixels, and the tenths to add
  int starY = 0;
  int starXTenths = 0;
  int starYTenths = 0;
  int guiderStarX = 0;  // guider-camera star position
  int guiderStarY = 0;
  int guiderStarXTenths = 0;
  int guiderStarYTenths = 0;
  int maskRadius = 8;   // half size of the search square
  int pickedStarX = 0;  // the star picked on the main image
  int pickedStarY = 0;
  bool guideWindowActive = false;  // the search works on the 128 x 128 guide window
  bool selfGuidingActive = false;  // a self-guided run is measuring in the guide window
  bool guideStarPicked = false;    // a guide star was picked on the main image
  bool guiderGuidingRunning = false;  // guiding from the guider camera is under way
  std::string imageTitle;          // the image's caption; a capture run sets "QZ Camera Image"
  bool showCameraSummary = false;  // report what discovery found (program defaults dialog)
};

// "Default Focus Frame Centre": the focus window back at its start-up place.
void ResetFocusFrameCentre(ProgramState& state);

}  // namespace corvex
