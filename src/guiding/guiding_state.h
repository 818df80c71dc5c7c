// What calibration and the guiding loops keep between their steps: the training results of
// the guider camera, the reference position, the last error and the run flags.
//
// The persisted guiding parameters (rates, backlash, hysteresis, the default angle) are in
// ProgramSettings; the guide star measurements are in ProgramState.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvex {

struct SamplePoint {
  int x = 0;
  int y = 0;
};

// The results of the last guider training. None of it is written to the settings file: after
// a restart guiding uses the defaults until the next training or "Save Latest".
struct GuiderTraining {
  int trainingSeconds = 2;  // T, the guider training move time: 1, 2, 4 or 8 s
  int trainedRaRate = 0;    // magnitudes of the measured motion, pixels per second
  int trainedDecRate = 0;
  int trainedRaBacklash = 0;
  int trainedDecBacklash = 0;
  double trainedRaAngle = 0;  // radians
  int trainedQuadrant = 1;    // 1: RA motion x and y both >= 0, 3: both < 0, 2: otherwise
  int raStepX = 0;            // signed motion per second of a west move, and of a north move
  int raStepY = 0;
  int decStepX = 0;
  int decStepY = 0;
  int raBacklashDx = 0;
  int raBacklashDy = 0;
  int decBacklashDx = 0;
  int decBacklashDy = 0;
  bool guiderTrained = false;    // a training completed since the program started
  bool useTrainedValues = false;  // guiding uses the trained values ("Use Default" toggles)
  bool trainingRunning = false;   // the guider dialog draws the latest sample while set
  std::array<SamplePoint, 9> trainingSamples{};  // P0 and the positions after each move
  int trainingStep = 0;                          // index of the latest sample, 0-7
};

// One correction: the error it measured and the moves it made on each axis (letter 0 and
// 0 ms for an axis that did not move).
struct GuideCorrection {
  int result = 0;  // 0 done, 3 the star was lost
  int errorX = 0;  // reference minus measured position, thousandths of a pixel
  int errorY = 0;
  char raLetter = 0;
  int raMs = 0;
  char decLetter = 0;
  int decMs = 0;
};

struct GuidingState {
  int referenceX = 0;  // main camera: guide-window coordinates; guider: guider-frame ones
  int referenceY = 0;
  int referenceXTenths = 0;
  int referenceYTenths = 0;
  std::int16_t errorX = 0;  // last error, thousandths of a pixel
  std::int16_t errorY = 0;
  bool calibrationActive = false;
  bool guideAbort = false;       // the user's stop: a pending abort skips a cycle's correction
  bool firstGuideFrame = true;   // the next continuous self-guiding frame sets the reference
  bool guiderStarLost = false;
  std::int16_t guiderSlewTimeX = 0;  // the guider's last default-path move times
  std::int16_t guiderSlewTimeY = 0;
  std::string guidingInfoText = "Guiding Info";  // caption of the guiding information window
  GuideCorrection lastCorrection;
  // The star position PlaceGuideWindow found before it placed the window, put back when a
  // guiding run ends.
  int savedStarX = 0;
  int savedStarY = 0;
  // The guide star chosen in the guider camera dialog.
  int selectedGuiderStarX = 0;
  int selectedGuiderStarY = 0;
  bool guiderStarSelected = false;
  GuiderTraining training;

  void SetReference(int x, int xTenths, int y, int yTenths) {
    referenceX = x;
    referenceXTenths = xTenths;
    referenceY = y;
    referenceYTenths = yTenths;
  }
};

}  // namespace corvex
